function orvalink_demo(action)
%ORVALINK_DEMO Open a model that flies a sample flight in FlightGear.
%   ORVALINK_DEMO makes (unless it exists) and opens orvalink_demo.slx in
%   the current folder, or in your user folder (userpath) when the current
%   folder cannot be written. The model plays the sample flight
%   honolulu-climbing-turn.csv through the FlightGear link block, paced to
%   real time, to FlightGear on this computer, port 5500.
%   ORVALINK_DEMO('run') also simulates it.
%
%   Start FlightGear for it first, with one command in a system shell:
%       orvalink-fly
%   (it starts at Honolulu, PHNL, at noon, reading port 5500), and run the
%   model once FlightGear shows the airport.

if nargin < 1
    action = 'open';
end
if ~ischar(action) || ~any(strcmp(action, {'open', 'run'}))
    error('orvalink_demo:action', 'orvalink_demo takes no argument or ''run''.');
end
name = 'orvalink_demo';
folder = pwd;
if ~isWritable(folder)
    folder = userpath;
    if ~isempty(folder) && folder(end) == pathsep
        folder = folder(1:end - 1);
    end
end
file = fullfile(folder, [name '.slx']);
if ~exist(file, 'file')
    makeModel(name, file, readFlight());
    fprintf('Made %s\n', file);
end
load_system(file);
open_system(name);
if strcmp(action, 'run')
    sim(name);
end
end

function makeModel(name, file, flight)
try
    close_system(name, 0);
catch
end
try
    load_system('orvalink_lib');
catch
    error('orvalink_demo:noLibrary', ['The FlightGear link library orvalink_lib is not on the path: ' ...
        'run build_orvalink once, in a folder on the path.']);
end
new_system(name);
% [t, u1 ... u28]: the flight's own 20 steps a second.
add_block('simulink/Sources/From Workspace', [name '/Flight'], ...
    'VariableName', mat2str(flight, 12), 'Position', [40 150 120 190]);
add_block('simulink/Signal Routing/Demux', [name '/Demux'], ...
    'Outputs', '[3 3 2 7 3 1 3 3 3]', 'Position', [180 40 190 300]);
add_block('orvalink_lib/FlightGear link', [name '/FlightGear link'], 'Position', [260 40 420 300]);
add_line(name, 'Flight/1', 'Demux/1');
for port = 1:9
    add_line(name, sprintf('Demux/%d', port), sprintf('FlightGear link/%d', port));
end
% Simulink runs as fast as it can; FlightGear wants the flight in real time.
set_param(name, 'StopTime', num2str(flight(end, 1)), 'EnablePacing', 'on', 'PacingRate', '1');
save_system(name, file);
close_system(name, 0);
end

function flight = readFlight()
% As build_orvalink, the Linux install and the Windows setup lay it out.
here = fileparts(mfilename('fullpath'));
sample = 'honolulu-climbing-turn.csv';
places = {fullfile(here, 'samples'), fullfile(here, '..', 'samples'), fullfile(here, '..', '..', 'samples')};
for k = 1:numel(places)
    csv = fullfile(places{k}, sample);
    if exist(csv, 'file')
        values = dlmread(csv, ',', 1, 0);
        if size(values, 2) ~= 28 || size(values, 1) < 2
            error('orvalink_demo:sample', '%s does not hold a flight of 28 columns.', csv);
        end
        steps = (0:size(values, 1) - 1)' * 0.05;
        flight = [steps values];
        return
    end
end
error('orvalink_demo:noSample', '%s is in none of %s: reinstall the package.', sample, strjoin(places, ', '));
end

function ok = isWritable(folder)
probe = [tempname(folder) '.tmp'];
handle = fopen(probe, 'w');
ok = handle >= 0;
if ok
    fclose(handle);
    delete(probe);
end
end
