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
check(strcmp(library.kind, 'Library') && numel(library.blocks) == 1, 'one block in a library');
block = library.blocks(1);
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
check(error_caught(@() orvalink_demo('fly')), 'only ''run'' is an action');

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
