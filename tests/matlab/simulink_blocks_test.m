function simulink_blocks_test(mexFolder, samplesFolder)
% orvalink_library and orvalink_demo under GNU Octave, with stand-ins for
% Simulink's calls that refuse any block path, parameter or mask property
% the documentation does not have: the library's one masked block, what
% its mask passes to the S-function, the Library Browser entry, and the
% demo model, where it is made, which flight it plays and how it is wired.
global STANDIN
STANDIN = struct('pc', false, 'userFolder', '', 'octave', false, 'simulink', true);
simulink_standin('reset');
start = pwd;
cleanup = onCleanup(@() cd(start));

% ---- The library --------------------------------------------------------
package = tempname();
mkdir(package);
for file = {'orvalink_library.m', 'orvalink_demo.m'}
    copyfile(fullfile(mexFolder, file{1}), package);
end
mkdir(fullfile(package, 'samples'));
copyfile(fullfile(samplesFolder, 'honolulu-climbing-turn.csv'), fullfile(package, 'samples'));
addpath(package);
libraryFolder = tempname();
mkdir(libraryFolder);
file = orvalink_library(libraryFolder);
check(strcmp(file, fullfile(libraryFolder, 'orvalink_lib.slx')), 'returns the library file');
saved = load('-mat', file);
library = saved.system;
check(strcmp(library.kind, 'Library') && numel(library.blocks) == 2, 'two blocks in a library');
block = library.blocks(strcmp({library.blocks.name}, 'FlightGear link'));
check(strcmp(block.name, 'FlightGear link') && strcmp(block.params.FunctionName, 'orvalink'), ...
    'the block FlightGear link runs orvalink');
check(strcmp(library.params.EnableLBRepository, 'on'), 'shown in the Library Browser');
mask = block.mask;
check(isequal({mask.Parameters.Type}, {'edit', 'edit', 'edit', 'popup'}), 'three edits and a popup');
check(all(strcmp({mask.Parameters.Tunable}, 'off')), 'no mask parameter is tunable');
check(all(~cellfun(@isempty, {mask.Parameters.Prompt})), 'every parameter has a prompt');
release = mask.Parameters(4);
check(isequal(release.TypeOptions, {'0.9.10 and later (packet version 24)', '0.9.4 (packet version 17)'}) && ...
    strcmp(release.Value, release.TypeOptions{1}), 'the release popup, today''s FlightGear first');
% What the S-function gets: each choice of the popup, and the defaults as Simulink evaluates them.
for choice = 1:2
    values = maskValues(mask, choice);
    got = evaluate(block.params.Parameters, values);
    check(isequal(got, {0.05, '127.0.0.1', 5500, 24 - 7 * (choice - 1)}), ...
        sprintf('the S-function parameters for popup choice %d', choice));
end
labels = regexp(mask.Display, 'port_label\(''input'', (\d), ''([^'']+)''\)', 'tokens');
check(numel(labels) == 9 && isequal(cellfun(@(t) str2double(t{1}), labels), 1:9) && ...
    numel(unique(cellfun(@(t) t{2}, labels, 'UniformOutput', false))) == 9, 'nine distinct input labels');
for unit = {'latitude (rad)', 'heading (rad)', 'airspeed (kt)', 'climb rate (ft/s)', 'gal/h', ...
        'height above ground (m)', 'rad/s', 'ft/s^2', 'packet version 24'}
    check(has(mask.Help, unit{1}), ['the help names ' unit{1}]);
end
% The controls block: the same dialog for where to listen, four labelled outputs.
controls = library.blocks(strcmp({library.blocks.name}, 'FlightGear controls'));
check(strcmp(controls.params.FunctionName, 'orvalink_controls'), 'the block FlightGear controls runs orvalink_controls');
mask = controls.mask;
check(isequal({mask.Parameters.Type}, {'edit', 'edit', 'edit'}) && all(strcmp({mask.Parameters.Tunable}, 'off')), ...
    'three edits, none tunable');
check(isequal(evaluate(controls.params.Parameters, maskValues(mask, 1)), {0.05, '127.0.0.1', 5600}), ...
    'the controls block''s S-function parameters');
labels = regexp(mask.Display, 'port_label\(''output'', (\d), ''([^'']+)''\)', 'tokens');
check(isequal(cellfun(@(t) str2double(t{1}), labels), 1:4) && ...
    isequal(cellfun(@(t) t{2}, labels, 'UniformOutput', false), {'flight', 'engines', 'gear', 'status'}), ...
    'four output labels in port order');
for words = {'--native-ctrls=socket,out', 'aileron', 'throttle 1 to 4', 'gear handle (1 down)', '-1 before', ...
        'elevator < 0 (stick back)', '744 bytes of version 27'}
    check(has(mask.Help, words{1}), ['the controls help names ' words{1}]);
end

addpath(libraryFolder);
browser = slblocks();
check(strcmp(browser.Browser(1).Library, 'orvalink_lib') && ~isempty(browser.Browser(1).Name), ...
    'slblocks lists the library');

% ---- The demo -----------------------------------------------------------
work = tempname();
mkdir(work);
users = tempname();
mkdir(users);
STANDIN.userFolder = users;
cd(work);
simulink_standin('reset');
text = evalc('orvalink_demo();');
model = fullfile(work, 'orvalink_demo.slx');
check(has(text, ['Made ' model]) && exist(model, 'file') > 0, 'made in the current folder');
state = simulink_standin();
check(isequal(state.opened, {'orvalink_demo'}) && isempty(state.simulated), 'opened, not simulated');
saved = load('-mat', model);
demo = saved.system;
check(isequal(sort({demo.blocks.name}), {'Demux', 'Flight', 'FlightGear link'}), 'three blocks');
flight = eval(demo.blocks(strcmp({demo.blocks.name}, 'Flight')).params.VariableName);
csv = dlmread(fullfile(samplesFolder, 'honolulu-climbing-turn.csv'), ',', 1, 0);
check(isequal(size(flight), [size(csv, 1), 29]), 'the whole flight, time first');
check(max(abs(flight(:, 1) - (0:size(csv, 1) - 1)' * 0.05)) < 1e-9, 'twenty steps a second');
check(max(max(abs(flight(:, 2:end) - csv) ./ max(1, abs(csv)))) < 1e-10, 'the sample''s values');
demux = demo.blocks(strcmp({demo.blocks.name}, 'Demux'));
check(strcmp(demux.params.Outputs, '[3 3 2 7 3 1 3 3 3]'), 'split into the nine ports');
link = demo.blocks(strcmp({demo.blocks.name}, 'FlightGear link'));
check(strcmp(link.source, 'orvalink_lib/FlightGear link') && strcmp(link.params.FunctionName, 'orvalink'), ...
    'the library''s block');
wires = {'Flight/1', 'Demux/1'};
for k = 1:9
    wires(end + 1, :) = {sprintf('Demux/%d', k), sprintf('FlightGear link/%d', k)}; %#ok<AGROW>
end
check(isequal(sortrows(demo.lines), sortrows(wires)), 'every port wired');
check(str2double(demo.params.StopTime) == flight(end, 1) && strcmp(demo.params.EnablePacing, 'on') && ...
    str2double(demo.params.PacingRate) == 1, 'the flight''s length, paced to real time');

% Again: the model is opened as it is, and 'run' simulates it.
simulink_standin('reset');
text = evalc('orvalink_demo(''run'');');
state = simulink_standin();
check(~has(text, 'Made') && isequal(state.simulated, {'orvalink_demo'}), 'an existing model run as it is');
check(error_caught(@() orvalink_demo('fly')), 'only ''run'' and ''pilot'' are actions');

% The pilot's model: FlightGear's controls fly a small aircraft whose state goes back.
simulink_standin('reset');
text = evalc('orvalink_demo(''pilot'');');
model = fullfile(work, 'orvalink_pilot_demo.slx');
check(has(text, ['Made ' model]) && exist(model, 'file') > 0, 'the pilot''s model made in the current folder');
state = simulink_standin();
check(isequal(state.opened, {'orvalink_pilot_demo'}) && isempty(state.simulated), 'the pilot''s model opened');
saved = load('-mat', model);
pilot = saved.system;
sources = {pilot.blocks.source};
check(sum(strcmp(sources, 'orvalink_lib/FlightGear controls')) == 1 && ...
    sum(strcmp(sources, 'orvalink_lib/FlightGear link')) == 1, 'both library blocks, once each');
integrators = pilot.blocks(strcmp({pilot.blocks.kind}, 'simulink/Continuous/Integrator'));
check(isequal(sort({integrators.name}), sort({'Bank', 'Path', 'Speed', 'Heading', 'Altitude', 'Latitude', ...
    'Longitude'})), 'seven states, each an integrator');
check(all(strncmp(sources(~strncmp(sources, 'orvalink_lib/', 13)), 'simulink/', 9)), 'the rest standard Simulink blocks');
% Every input of every block wired, once; every output used.
for k = 1:numel(pilot.blocks)
    blockName = pilot.blocks(k).name;
    inputs = sum(strncmp(pilot.lines(:, 2), [blockName '/'], numel(blockName) + 1));
    outputs = unique(pilot.lines(strncmp(pilot.lines(:, 1), [blockName '/'], numel(blockName) + 1), 1));
    check(inputs == standin_port_count(pilot.blocks(k), 'input'), [blockName ': every input wired']);
    check(numel(outputs) == standin_port_count(pilot.blocks(k), 'output'), [blockName ': every output used']);
end
integrator = @(name) integrators(strcmp({integrators.name}, name)).params;
check(abs(str2double(integrator('Heading').InitialCondition) - 80 * pi / 180) < 1e-9 && ...
    abs(str2double(integrator('Latitude').InitialCondition) - 21.3187 * pi / 180) < 1e-9 && ...
    str2double(integrator('Altitude').InitialCondition) == 300, 'starts at Honolulu, 300 m, heading 80');
check(strcmp(integrator('Bank').LimitOutput, 'on') && ...
    abs(str2double(integrator('Bank').UpperSaturationLimit) - pi / 3) < 1e-9, 'bank at most 60 degrees');
gains = pilot.blocks(strcmp({pilot.blocks.kind}, 'simulink/Math Operations/Gain'));
gainOf = @(name) str2double(gains(strcmp({gains.name}, name)).params.Gain);
check(gainOf('Roll rate') > 0 && gainOf('Path command') < 0, ...
    'FlightGear''s signs: right aileron rolls right, stick back climbs');
check(any(strcmp(pilot.lines(:, 1), 'Flight controls/1') & strcmp(pilot.lines(:, 2), 'Roll rate/1')), ...
    'the aileron drives the roll rate');
check(strcmp(pilot.params.Solver, 'ode3') && strcmp(pilot.params.EnablePacing, 'on'), ...
    'a fixed-step solver, paced to real time');
simulink_standin('reset');
evalc('orvalink_demo(''pilot run'');');
state = simulink_standin();
check(isequal(state.simulated, {'orvalink_pilot_demo'}), '''pilot run'' simulates the pilot''s model');

% A current folder that cannot be written: into the user folder.
simulink_standin('reset');
cd('/proc');
evalc('orvalink_demo();');
cd(work);
check(exist(fullfile(users, 'orvalink_demo.slx'), 'file') > 0, 'made in the user folder');

% The sample one or two folders up, as the Linux install and the build lay it out; none at all.
rmpath(package);
for depth = 1:3
    layout = tempname();
    code = fullfile(layout, 'a', 'b');
    mkdir(code);
    copyfile(fullfile(mexFolder, 'orvalink_demo.m'), code);
    if depth < 3
        mkdir(fullfile(layout, repmat('a/', 1, 2 - depth), 'samples'));
        copyfile(fullfile(samplesFolder, 'honolulu-climbing-turn.csv'), ...
            fullfile(layout, repmat('a/', 1, 2 - depth), 'samples'));
    end
    addpath(code);
    place = tempname();
    mkdir(place);
    cd(place);
    simulink_standin('reset');
    if depth < 3
        evalc('orvalink_demo();');
        check(exist(fullfile(place, 'orvalink_demo.slx'), 'file') > 0, sprintf('the sample %d up', depth));
    else
        message = error_of(@() orvalink_demo());
        check(has(message, 'honolulu-climbing-turn.csv') && has(message, 'reinstall'), 'no sample anywhere');
    end
    cd(work);
    rmpath(code);
end

% Without the library on the path: what to do.
rmpath(libraryFolder);
addpath(package);
place = tempname();
mkdir(place);
cd(place);
simulink_standin('reset');
message = error_of(@() orvalink_demo());
check(has(message, 'build_orvalink'), 'says to run build_orvalink');
rmpath(package);
disp('simulink_blocks: all checks passed');
end

function values = maskValues(mask, choice)
% The mask's variables as Simulink gives them to the block: evaluated or as text, a popup by index.
values = struct();
for p = mask.Parameters
    if strcmp(p.Type, 'popup')
        values.(p.Name) = choice;
    elseif strcmp(p.Evaluate, 'on')
        values.(p.Name) = eval(p.Value);
    else
        values.(p.Name) = p.Value;
    end
end
end

function got = evaluate(expression, values)
for name = fieldnames(values)'
    eval([name{1} ' = values.(name{1});']);
end
got = eval(['{' expression '}']);
end
