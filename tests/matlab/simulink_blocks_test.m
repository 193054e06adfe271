function simulink_blocks_test(mexFolder, samplesFolder)
% orvalink_library and orvalink_demo under GNU Octave, with stand-ins for
% Simulink's calls that refuse any block path, parameter or mask property
% the documentation does not have (and a library S-Function's parameters
% set before its mask): the library's masked blocks, what their masks pass
% to the S-functions, the Library Browser entry and another library's left
% alone, each release's library file; the demo models, where they are
% made, which flight they play from the model's workspace, their solvers,
% how they are wired, and that the function orvalink_demo stays the one
% that runs.
global STANDIN
STANDIN = struct('pc', false, 'userFolder', '', 'octave', false, 'simulink', true, 'release', '2024b');
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

% Each release: SLX from R2012a, MDL before, a refusal before Simulink.Mask
% (R2010a); a release without EnableLBRepository lists it through slblocks.m alone.
releases = {
    % release  repository  file
    '2012a',   true,       'orvalink_lib.slx'
    '2011b',   true,       'orvalink_lib.mdl'
    '2016a',   false,      'orvalink_lib.slx'
    '2009b',   true,       ''};
for row = 1:size(releases, 1)
    STANDIN.release = releases{row, 1};
    STANDIN.noLibraryBrowserRepository = ~releases{row, 2};
    simulink_standin('reset');
    folder = tempname();
    mkdir(folder);
    if isempty(releases{row, 3})
        message = error_of(@() orvalink_library(folder));
        check(has(message, 'R2010a') && has(message, 'R2009b') && isempty(dir(folder)(3:end)), ...
            'no library before R2010a, and nothing written');
    else
        file = orvalink_library(folder);
        check(strcmp(file, fullfile(folder, releases{row, 3})) && exist(file, 'file') && ...
            exist(fullfile(folder, 'slblocks.m'), 'file'), ['R' releases{row, 1} ': ' releases{row, 3}]);
    end
end
STANDIN.release = '2024b';
STANDIN.noLibraryBrowserRepository = false;

% Another library's slblocks.m: never overwritten, and no library made beside it.
theirs = tempname();
mkdir(theirs);
own = sprintf('function blkStruct = slblocks\nblkStruct.Browser(1).Library = ''my_lib'';\nend\n');
handle = fopen(fullfile(theirs, 'slblocks.m'), 'w');
fprintf(handle, '%s', own);
fclose(handle);
simulink_standin('reset');
message = error_of(@() orvalink_library(theirs));
check(has(message, fullfile(theirs, 'slblocks.m')) && has(message, 'another library'), 'names the other slblocks.m');
check(strcmp(fileread(fullfile(theirs, 'slblocks.m')), own) && ~exist(fullfile(theirs, 'orvalink_lib.slx'), 'file'), ...
    'the user''s slblocks.m as it was');

% ---- The demo -----------------------------------------------------------
% Beside this release's library (on the path), whatever the current folder.
work = tempname();
mkdir(work);
users = tempname();
mkdir(users);
STANDIN.userFolder = users;
cd(work);
simulink_standin('reset');
text = evalc('orvalink_demo();');
model = fullfile(libraryFolder, 'orvalink_flight_demo.slx');
check(has(text, ['Made ' model]) && exist(model, 'file') > 0, 'made beside the library');
state = simulink_standin();
check(isequal(state.opened, {'orvalink_flight_demo'}) && isempty(state.simulated), 'opened, not simulated');
saved = load('-mat', model);
demo = saved.system;
check(isequal(sort({demo.blocks.name}), {'Demux', 'Flight', 'FlightGear link'}), 'three blocks');
source = demo.blocks(strcmp({demo.blocks.name}, 'Flight')).params;
check(strcmp(source.VariableName, 'flight') && strcmp(source.SampleTime, '0.05'), ...
    'the flight read from a variable, at its own 20 steps a second');
flight = demo.workspace.flight;
csv = dlmread(fullfile(samplesFolder, 'honolulu-climbing-turn.csv'), ',', 1, 0);
check(isequal(size(flight), [size(csv, 1), 29]), 'the whole flight, time first, in the model''s workspace');
check(max(abs(flight(:, 1) - (0:size(csv, 1) - 1)' * 0.05)) < 1e-9, 'twenty steps a second');
check(isequal(flight(:, 2:end), csv), 'the sample''s values, exactly');
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
check(isequal({demo.params.SolverType, demo.params.Solver, demo.params.FixedStep, demo.params.StartTime}, ...
    {'Fixed-step', 'FixedStepDiscrete', '0.05', '0'}), 'its own solver and step, not the user''s template');
check(str2double(demo.params.StopTime) == flight(end, 1) && strcmp(demo.params.EnablePacing, 'on') && ...
    str2double(demo.params.PacingRate) == 1, 'the flight''s length, paced to real time');

% Again: the model is opened as it is, 'run' simulates it, and the name
% orvalink_demo is still the function's, here and beside the library.
simulink_standin('reset');
text = evalc('orvalink_demo(''run'');');
state = simulink_standin();
check(~has(text, 'Made') && isequal(state.simulated, {'orvalink_flight_demo'}), 'an existing model run as it is');
check(strcmp(standin_precedence('orvalink_demo'), fullfile(package, 'orvalink_demo.m')), ...
    'orvalink_demo still runs the function');
check(error_caught(@() orvalink_demo('fly')), 'only ''run'' and ''pilot'' are actions');
STANDIN.release = '2017b';
message = error_of(@() orvalink_demo());
check(has(message, 'R2018a') && has(message, 'R2017b') && has(message, 'orvalink-fly --play'), ...
    'before simulation pacing: what to do instead');
STANDIN.release = '2024b';

% The pilot's model: FlightGear's controls fly a small aircraft whose state goes back.
simulink_standin('reset');
text = evalc('orvalink_demo(''pilot'');');
model = fullfile(libraryFolder, 'orvalink_pilot_demo.slx');
check(has(text, ['Made ' model]) && exist(model, 'file') > 0, 'the pilot''s model made beside the library');
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
check(isequal({pilot.params.SolverType, pilot.params.Solver, pilot.params.StartTime}, {'Fixed-step', 'ode3', '0'}) && ...
    strcmp(pilot.params.EnablePacing, 'on'), 'a fixed-step solver of its own, paced to real time');
simulink_standin('reset');
evalc('orvalink_demo(''pilot run'');');
state = simulink_standin();
check(isequal(state.simulated, {'orvalink_pilot_demo'}), '''pilot run'' simulates the pilot''s model');

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
    made = fullfile(libraryFolder, 'orvalink_flight_demo.slx');
    delete(made);
    if depth < 3
        evalc('orvalink_demo();');
        check(exist(made, 'file') > 0, sprintf('the sample %d up', depth));
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
