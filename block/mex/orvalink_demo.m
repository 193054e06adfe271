function orvalink_demo(action)
%ORVALINK_DEMO Open a model that flies a sample flight in FlightGear.
%   ORVALINK_DEMO makes (unless it exists) and opens orvalink_flight_demo.slx
%   beside the library orvalink_lib that build_orvalink made for this
%   release (or, where that folder cannot be written, in the current folder
%   or your user folder). The model plays the sample flight
%   honolulu-climbing-turn.csv, kept in the model's workspace as the
%   variable flight, through the FlightGear link block, paced to real time,
%   to FlightGear on this computer, port 5500.
%   ORVALINK_DEMO('run') also simulates it.
%
%   Start FlightGear for it first, with one command in a system shell:
%       orvalink-fly
%   (it starts at Honolulu, PHNL, at noon, reading port 5500), and run the
%   model once FlightGear shows the airport.
%
%   ORVALINK_DEMO('pilot') makes and opens orvalink_pilot_demo.slx instead:
%   you fly it. FlightGear's stick, pedals and throttle come in through the
%   FlightGear controls block (port 5600) and drive a small aircraft built
%   from standard Simulink blocks (coordinated turns, climb from the
%   elevator, speed from the throttle), whose state goes back to FlightGear
%   through the FlightGear link block. Start FlightGear for it with
%       orvalink-fly --controls 5600
%   and ORVALINK_DEMO('pilot run') simulates it, in real time, for an hour.
%
%   Both models need R2018a or later (simulation pacing).

if nargin < 1
    action = 'open';
end
if ~ischar(action) || ~any(strcmp(action, {'open', 'run', 'pilot', 'pilot run'}))
    error('orvalink_demo:action', 'orvalink_demo takes no argument, ''run'', ''pilot'' or ''pilot run''.');
end
if ~releaseAtLeast('2018a')
    error('orvalink_demo:release', ['The demo models need simulation pacing, which came in R2018a: in R%s, ' ...
        'fly the sample flight with orvalink-fly --play honolulu-climbing-turn.csv, or put the library''s ' ...
        'blocks in a model of your own.'], version('-release'));
end
pilot = strncmp(action, 'pilot', 5);
if pilot
    name = 'orvalink_pilot_demo';
else
    % Not orvalink_demo: a model of that name would run in place of this function.
    name = 'orvalink_flight_demo';
end
folder = modelFolder();
file = fullfile(folder, [name '.slx']);
if ~exist(file, 'file')
    if pilot
        makePilotModel(name, file);
    else
        makeModel(name, file, readFlight());
    end
    fprintf('Made %s\n', file);
end
load_system(file);
open_system(name);
if any(strcmp(action, {'run', 'pilot run'}))
    sim(name);
end
end

function yes = releaseAtLeast(first)
% version('-release') is 'YYYYa' or 'YYYYb' from R2006b on: they sort as text.
ordered = sort({first, version('-release')});
yes = strcmp(ordered{1}, first);
end

function folder = modelFolder()
% Beside this release's library, so that each release keeps its own models.
library = which('orvalink_lib.slx');
candidates = {fileparts(library), pwd, userpath};
for k = 1:numel(candidates)
    folder = candidates{k};
    if ~isempty(folder) && folder(end) == pathsep  % some releases end userpath so
        folder = folder(1:end - 1);
    end
    if ~isempty(folder) && exist(folder, 'dir') && isWritable(folder)
        return
    end
end
error('orvalink_demo:folder', 'No folder to save the demo model in: cd to a folder you can write.');
end

function newModel(name)
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
end

function makeModel(name, file, flight)
newModel(name);
% [t, u1 ... u28]: the flight's own 20 steps a second, kept in the model's
% workspace (saved in the model file), not as text in the block's dialog.
assignin(get_param(name, 'ModelWorkspace'), 'flight', flight);
add_block('simulink/Sources/From Workspace', [name '/Flight'], ...
    'VariableName', 'flight', 'SampleTime', '0.05', 'Position', [40 150 120 190]);
add_block('simulink/Signal Routing/Demux', [name '/Demux'], ...
    'Outputs', '[3 3 2 7 3 1 3 3 3]', 'Position', [180 40 190 300]);
add_block('orvalink_lib/FlightGear link', [name '/FlightGear link'], 'Position', [260 40 420 300]);
add_line(name, 'Flight/1', 'Demux/1');
for port = 1:9
    add_line(name, sprintf('Demux/%d', port), sprintf('FlightGear link/%d', port));
end
% Its own solver and steps, whatever the user's default template; Simulink
% runs as fast as it can, and FlightGear wants the flight in real time.
set_param(name, 'SolverType', 'Fixed-step', 'Solver', 'FixedStepDiscrete', 'FixedStep', '0.05', ...
    'StartTime', '0', 'StopTime', num2str(flight(end, 1), 15), 'EnablePacing', 'on', 'PacingRate', '1');
save_system(name, file);
close_system(name, 0);
end

function makePilotModel(name, file)
% The pilot's aircraft: bank, flight path, speed, heading, altitude,
% latitude and longitude, each an integrator, from FlightGear's controls:
%   dbank/dt    = 45 deg/s * aileron - bank / 6 s            (at most 60 deg)
%   dpath/dt    = (-20 deg * (elevator + trim) - path) / 1.5 s   (stick back climbs)
%   dV/dt       = (70 kt + 90 kt * throttle - V) / 8 s - g sin(path)   (V at least 45 kt)
%   dheading/dt = g tan(bank) / V                            (a coordinated turn)
%   dh/dt = V sin(path), north = V cos(path) cos(heading), east = V cos(path) sin(heading)
% It starts at Honolulu, 300 m up, heading 80 degrees at 120 kt.
newModel(name);
degree = pi / 180;
knot = 1852 / 3600;
g = 9.80665;
earth = 6371000;
ft = 1 / 0.3048;
b = @(block, source, varargin) add_block(source, [name '/' block], varargin{:});
w = @(from, to) add_line(name, from, to);
gain = 'simulink/Math Operations/Gain';
sumBlock = 'simulink/Math Operations/Sum';
product = 'simulink/Math Operations/Product';
trig = 'simulink/Math Operations/Trigonometric Function';
integrator = 'simulink/Continuous/Integrator';
constant = 'simulink/Sources/Constant';
mux = 'simulink/Signal Routing/Mux';
demux = 'simulink/Signal Routing/Demux';
num = @(value) num2str(value, 12);

b('FlightGear controls', 'orvalink_lib/FlightGear controls', 'Position', [30 40 150 260]);
b('Flight controls', demux, 'Outputs', '9', 'Position', [200 20 205 200]);
b('Engines', demux, 'Outputs', '[1 11]', 'Position', [200 230 205 270]);
w('FlightGear controls/1', 'Flight controls/1');
w('FlightGear controls/2', 'Engines/1');

% Bank.
b('Roll rate', gain, 'Gain', num(45 * degree), 'Position', [260 20 300 40]);
b('Bank return', gain, 'Gain', num(1 / 6), 'Position', [260 60 300 80]);
b('Bank acceleration', sumBlock, 'Inputs', '+-', 'Position', [330 20 350 80]);
b('Bank', integrator, 'InitialCondition', '0', 'LimitOutput', 'on', 'UpperSaturationLimit', num(60 * degree), ...
    'LowerSaturationLimit', num(-60 * degree), 'Position', [380 40 410 60]);
w('Flight controls/1', 'Roll rate/1');
w('Roll rate/1', 'Bank acceleration/1');
w('Bank return/1', 'Bank acceleration/2');
w('Bank acceleration/1', 'Bank/1');
w('Bank/1', 'Bank return/1');

% Flight path.
b('Elevator and trim', sumBlock, 'Inputs', '++', 'Position', [260 100 280 140]);
b('Path command', gain, 'Gain', num(-20 * degree), 'Position', [300 100 340 120]);
b('Path error', sumBlock, 'Inputs', '+-', 'Position', [360 100 380 140]);
b('Path lag', gain, 'Gain', num(1 / 1.5), 'Position', [400 100 440 120]);
b('Path', integrator, 'InitialCondition', '0', 'Position', [460 100 490 120]);
w('Flight controls/2', 'Elevator and trim/1');
w('Flight controls/5', 'Elevator and trim/2');
w('Elevator and trim/1', 'Path command/1');
w('Path command/1', 'Path error/1');
w('Path/1', 'Path error/2');
w('Path error/1', 'Path lag/1');
w('Path lag/1', 'Path/1');

% Speed.
b('Idle speed', constant, 'Value', num(70 * knot), 'Position', [260 290 300 310]);
b('Throttle speed', gain, 'Gain', num(90 * knot), 'Position', [260 240 300 260]);
b('Speed error', sumBlock, 'Inputs', '++-', 'Position', [330 240 350 310]);
b('Speed lag', gain, 'Gain', num(1 / 8), 'Position', [370 260 410 280]);
b('sin path', trig, 'Operator', 'sin', 'Position', [370 330 410 350]);
b('Weight along path', gain, 'Gain', num(g), 'Position', [430 330 470 350]);
b('Acceleration', sumBlock, 'Inputs', '+-', 'Position', [440 260 460 300]);
b('Speed', integrator, 'InitialCondition', num(120 * knot), 'LimitOutput', 'on', 'UpperSaturationLimit', 'inf', ...
    'LowerSaturationLimit', num(45 * knot), 'Position', [490 270 520 290]);
w('Engines/1', 'Throttle speed/1');
w('Throttle speed/1', 'Speed error/1');
w('Idle speed/1', 'Speed error/2');
w('Speed/1', 'Speed error/3');
w('Speed error/1', 'Speed lag/1');
w('Speed lag/1', 'Acceleration/1');
w('Path/1', 'sin path/1');
w('sin path/1', 'Weight along path/1');
w('Weight along path/1', 'Acceleration/2');
w('Acceleration/1', 'Speed/1');

% Heading: a coordinated turn.
b('tan bank', trig, 'Operator', 'tan', 'Position', [540 40 580 60]);
b('Lift turns', gain, 'Gain', num(g), 'Position', [600 40 640 60]);
b('Turn rate', product, 'Inputs', '*/', 'Position', [660 40 680 80]);
b('Heading', integrator, 'InitialCondition', num(80 * degree), 'Position', [700 50 730 70]);
w('Bank/1', 'tan bank/1');
w('tan bank/1', 'Lift turns/1');
w('Lift turns/1', 'Turn rate/1');
w('Speed/1', 'Turn rate/2');
w('Turn rate/1', 'Heading/1');

% Altitude and position.
b('Climb', product, 'Inputs', '**', 'Position', [540 320 560 360]);
b('Altitude', integrator, 'InitialCondition', '300', 'LimitOutput', 'on', 'UpperSaturationLimit', 'inf', ...
    'LowerSaturationLimit', '4', 'Position', [600 330 630 350]);
b('cos path', trig, 'Operator', 'cos', 'Position', [540 400 580 420]);
b('Horizontal speed', product, 'Inputs', '**', 'Position', [600 390 620 430]);
b('cos heading', trig, 'Operator', 'cos', 'Position', [640 440 680 460]);
b('sin heading', trig, 'Operator', 'sin', 'Position', [640 480 680 500]);
b('North', product, 'Inputs', '**', 'Position', [700 400 720 440]);
b('East', product, 'Inputs', '**', 'Position', [700 460 720 500]);
b('Latitude rate', gain, 'Gain', num(1 / earth), 'Position', [740 400 780 420]);
b('Latitude', integrator, 'InitialCondition', num(21.3187 * degree), 'Position', [800 400 830 420]);
b('cos latitude', trig, 'Operator', 'cos', 'Position', [850 440 890 460]);
b('East over cos latitude', product, 'Inputs', '*/', 'Position', [740 460 760 500]);
b('Longitude rate', gain, 'Gain', num(1 / earth), 'Position', [780 470 820 490]);
b('Longitude', integrator, 'InitialCondition', num(-157.9225 * degree), 'Position', [840 470 870 490]);
w('Speed/1', 'Climb/1');
w('sin path/1', 'Climb/2');
w('Climb/1', 'Altitude/1');
w('Path/1', 'cos path/1');
w('Speed/1', 'Horizontal speed/1');
w('cos path/1', 'Horizontal speed/2');
w('Heading/1', 'cos heading/1');
w('Heading/1', 'sin heading/1');
w('Horizontal speed/1', 'North/1');
w('cos heading/1', 'North/2');
w('Horizontal speed/1', 'East/1');
w('sin heading/1', 'East/2');
w('North/1', 'Latitude rate/1');
w('Latitude rate/1', 'Latitude/1');
w('Latitude/1', 'cos latitude/1');
w('East/1', 'East over cos latitude/1');
w('cos latitude/1', 'East over cos latitude/2');
w('East over cos latitude/1', 'Longitude rate/1');
w('Longitude rate/1', 'Longitude/1');

% The state to FlightGear, in the nine ports' units.
b('FlightGear link', 'orvalink_lib/FlightGear link', 'Position', [1000 40 1160 520]);
b('Position', mux, 'Inputs', '3', 'Position', [940 40 945 90]);
w('Latitude/1', 'Position/1');
w('Longitude/1', 'Position/2');
w('Altitude/1', 'Position/3');
b('Attitude', mux, 'Inputs', '3', 'Position', [940 100 945 150]);
w('Bank/1', 'Attitude/1');
w('Path/1', 'Attitude/2');
w('Heading/1', 'Attitude/3');
b('Airspeed in knots', gain, 'Gain', num(1 / knot), 'Position', [880 160 910 180]);
b('Climb in ft/s', gain, 'Gain', num(ft), 'Position', [880 190 910 210]);
b('Air data', mux, 'Inputs', '2', 'Position', [940 160 945 210]);
w('Speed/1', 'Airspeed in knots/1');
w('Climb/1', 'Climb in ft/s/1');
w('Airspeed in knots/1', 'Air data/1');
w('Climb in ft/s/1', 'Air data/2');
b('Unused surfaces', constant, 'Value', '[0 0 0]', 'Position', [880 220 910 240]);
b('Surfaces', mux, 'Inputs', '[1 1 1 1 3]', 'Position', [940 220 945 280]);
w('Flight controls/7', 'Surfaces/1');
w('Flight controls/2', 'Surfaces/2');
w('Flight controls/1', 'Surfaces/3');
w('Flight controls/3', 'Surfaces/4');
w('Unused surfaces/1', 'Surfaces/5');
b('Engine', constant, 'Value', '[1 2400 8]', 'Position', [880 290 910 310]);
b('Ground', constant, 'Value', '4', 'Position', [840 330 870 350]);
b('Height above ground', sumBlock, 'Inputs', '+-', 'Position', [900 320 920 360]);
w('Altitude/1', 'Height above ground/1');
w('Ground/1', 'Height above ground/2');
b('North in ft/s', gain, 'Gain', num(ft), 'Position', [880 370 910 390]);
b('East in ft/s', gain, 'Gain', num(ft), 'Position', [880 400 910 420]);
b('Down in ft/s', gain, 'Gain', num(-ft), 'Position', [880 430 910 450]);
b('Velocity', mux, 'Inputs', '3', 'Position', [940 370 945 450]);
w('North/1', 'North in ft/s/1');
w('East/1', 'East in ft/s/1');
w('Climb/1', 'Down in ft/s/1');
w('North in ft/s/1', 'Velocity/1');
w('East in ft/s/1', 'Velocity/2');
w('Down in ft/s/1', 'Velocity/3');
b('Rates', mux, 'Inputs', '3', 'Position', [940 460 945 500]);  % the Euler rates, near enough
w('Bank acceleration/1', 'Rates/1');
w('Path lag/1', 'Rates/2');
w('Turn rate/1', 'Rates/3');
b('Accelerations', constant, 'Value', num2str([0 0 -g * ft], 8), 'Position', [880 510 910 530]);
w('Position/1', 'FlightGear link/1');
w('Attitude/1', 'FlightGear link/2');
w('Air data/1', 'FlightGear link/3');
w('Surfaces/1', 'FlightGear link/4');
w('Engine/1', 'FlightGear link/5');
w('Height above ground/1', 'FlightGear link/6');
w('Velocity/1', 'FlightGear link/7');
w('Rates/1', 'FlightGear link/8');
w('Accelerations/1', 'FlightGear link/9');

% What the aircraft does not use ends here, so that no output is left open.
unused = {'FlightGear controls/3', 'FlightGear controls/4', 'Engines/2', 'Flight controls/4', ...
    'Flight controls/6', 'Flight controls/8', 'Flight controls/9'};
for k = 1:numel(unused)
    b(sprintf('Unused %d', k), 'simulink/Sinks/Terminator', 'Position', [260 + 40 * k 560 280 + 40 * k 580]);
    w(unused{k}, sprintf('Unused %d/1', k));
end

% The controls block takes what FlightGear sends on its port (5600); a
% fixed-step solver, paced to real time, for an hour.
set_param(name, 'SolverType', 'Fixed-step', 'Solver', 'ode3', 'FixedStep', '0.01', 'StartTime', '0', ...
    'StopTime', '3600', 'EnablePacing', 'on', 'PacingRate', '1');
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
        steps = (0:size(values, 1) - 1)' / 20;  % each time the double nearest k/20
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
