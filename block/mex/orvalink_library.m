function file = orvalink_library(folder)
%ORVALINK_LIBRARY Make the Simulink library that holds the FlightGear blocks.
%   ORVALINK_LIBRARY(FOLDER) makes orvalink_lib.slx (.mdl before R2012a) in
%   FOLDER, holding two masked blocks: "FlightGear link", which runs the
%   orvalink S-function (the model's state to FlightGear), and "FlightGear
%   controls", which runs orvalink_controls (FlightGear's controls to the
%   model). It writes slblocks.m beside it, so that the Simulink Library
%   Browser lists the library while FOLDER is on the path; an slblocks.m of
%   another library there is never overwritten. build_orvalink calls it
%   after building the MEX files into the same folder. It needs R2010a or
%   later (Simulink.Mask).
%   FILE = ORVALINK_LIBRARY(FOLDER) also returns the library's full name.

name = 'orvalink_lib';
if nargin < 1
    folder = pwd;
end
if ~releaseAtLeast('2010a')
    error('orvalink_library:release', ['The library needs Simulink.Mask, which came in R2010a: in R%s add an ' ...
        'S-Function block named orvalink by hand.'], version('-release'));
end
list = fullfile(folder, 'slblocks.m');
if exist(list, 'file') && isempty(strfind(fileread(list), [ name ])) %#ok<STREMP>
    error('orvalink_library:slblocks', ['%s lists another library in the Library Browser, so orvalink will ' ...
        'not overwrite it: make the library in a folder of its own.'], list);
end
try
    close_system(name, 0);  % a library of that name still loaded: made anew
catch
end

new_system(name, 'Library');
block = [name '/FlightGear link'];
add_block('simulink/User-Defined Functions/S-Function', block, 'Position', [100 40 260 300]);
mask = Simulink.Mask.create(block);
mask.Type = 'FlightGear link';
mask.Description = ['Sends the nine inputs to FlightGear as its native flight-dynamics ' ...
    'packet, one UDP datagram per major time step.'];
mask.addParameter('Type', 'edit', 'Name', 'fg_sample_time', 'Value', '0.05', 'Evaluate', 'on', ...
    'Tunable', 'off', 'Prompt', 'Sample time (s): a period, [period offset], 0 (continuous) or -1 (inherited)');
mask.addParameter('Type', 'edit', 'Name', 'fg_host', 'Value', '127.0.0.1', 'Evaluate', 'off', ...
    'Tunable', 'off', 'Prompt', 'FlightGear host (name or IPv4 address)');
mask.addParameter('Type', 'edit', 'Name', 'fg_port', 'Value', '5500', 'Evaluate', 'on', ...
    'Tunable', 'off', 'Prompt', 'FlightGear UDP port (its --native-fdm port)');
mask.addParameter('Type', 'popup', 'Name', 'fg_release', ...
    'TypeOptions', {'0.9.10 and later (packet version 24)', '0.9.4 (packet version 17)'}, ...
    'Value', '0.9.10 and later (packet version 24)', 'Evaluate', 'on', 'Tunable', 'off', ...
    'Prompt', 'FlightGear release');

labels = {'position', 'attitude', 'airspeed, climb', 'surfaces', 'engine', 'height AGL', ...
    'velocity NED', 'body rates', 'accelerations'};
display = sprintf('disp(''FlightGear'');\n');
for port = 1:numel(labels)
    display = [display sprintf('port_label(''input'', %d, ''%s'');\n', port, labels{port})]; %#ok<AGROW>
end
mask.Display = display;
mask.Help = inputHelp();
% The S-function and what the mask passes it, once the mask variables exist.
% The popup gives 1 for version 24 and 2 for version 17.
set_param(block, 'FunctionName', 'orvalink', ...
    'Parameters', 'fg_sample_time, fg_host, fg_port, 24 - 7 * (fg_release - 1)');

addControlsBlock([name '/FlightGear controls']);

try
    set_param(name, 'EnableLBRepository', 'on');
catch
    % Releases without the parameter list the library through slblocks.m alone.
end
extension = '.slx';
if ~releaseAtLeast('2012a')
    extension = '.mdl';  % SLX came in R2012a
end
file = fullfile(folder, [name extension]);
save_system(name, file);
close_system(name, 0);
writeLibraryList(folder, name);
if nargout == 0
    clear file
end
end

function addControlsBlock(block)
% FlightGear's controls back into the model: the same dialog, the address to listen on.
add_block('simulink/User-Defined Functions/S-Function', block, 'Position', [340 40 500 300]);
mask = Simulink.Mask.create(block);
mask.Type = 'FlightGear controls';
mask.Description = ['Takes FlightGear''s controls (stick, pedals, throttle, brakes) from its native ' ...
    'controls datagrams, at each major time step, and holds the last ones between them.'];
mask.addParameter('Type', 'edit', 'Name', 'fgc_sample_time', 'Value', '0.05', 'Evaluate', 'on', ...
    'Tunable', 'off', 'Prompt', 'Sample time (s): a period, [period offset], 0 (continuous) or -1 (inherited)');
mask.addParameter('Type', 'edit', 'Name', 'fgc_host', 'Value', '127.0.0.1', 'Evaluate', 'off', ...
    'Tunable', 'off', 'Prompt', 'Address to listen on (127.0.0.1, or 0.0.0.0 for every interface)');
mask.addParameter('Type', 'edit', 'Name', 'fgc_port', 'Value', '5600', 'Evaluate', 'on', ...
    'Tunable', 'off', 'Prompt', 'UDP port (FlightGear''s --native-ctrls=socket,out,... port)');
labels = {'flight', 'engines', 'gear', 'status'};
display = sprintf('disp(''FlightGear\\ncontrols'');\n');
for port = 1:numel(labels)
    display = [display sprintf('port_label(''output'', %d, ''%s'');\n', port, labels{port})]; %#ok<AGROW>
end
mask.Display = display;
mask.Help = outputHelp();
set_param(block, 'FunctionName', 'orvalink_controls', 'Parameters', 'fgc_sample_time, fgc_host, fgc_port');
end

function yes = releaseAtLeast(first)
% version('-release') is 'YYYYa' or 'YYYYb' from R2006b on: they sort as text.
ordered = sort({first, version('-release')});
yes = strcmp(ordered{1}, first);
end

function text = outputHelp()
rows = {
    '1', '9', 'aileron, elevator, rudder, aileron trim, elevator trim, rudder trim (-1 to 1), flaps, spoilers, speedbrake (0 to 1)'
    '2', '12', 'throttle 1 to 4, mixture 1 to 4, propeller 1 to 4 (0 to 1)'
    '3', '4', 'left brake, right brake, parking brake (0 to 1), gear handle (1 down)'
    '4', '3', 'datagrams taken, datagrams refused, seconds since the last was taken (wall clock; -1 before)'};
text = sprintf(['Takes FlightGear''s controls at every major time step: every datagram queued since the ' ...
    'last step, the last good one kept. Start FlightGear with --native-ctrls=socket,out,RATE,127.0.0.1,PORT,udp ' ...
    '(orvalink-fly --controls PORT does it for you). FlightGear''s signs: aileron > 0 rolls right, ' ...
    'elevator < 0 (stick back) pitches up.\n\nOutputs are 0 until the first datagram, then hold the last ' ...
    'values. A datagram that is not 744 bytes of version 27 is counted as refused.\n\n' ...
    'Outputs:\nPort  Width  Elements\n']);
for row = 1:size(rows, 1)
    text = [text sprintf('%-5s %-6s %s\n', rows{row, :})]; %#ok<AGROW>
end
end

function text = inputHelp()
rows = {
    '1', '3', 'latitude (rad), longitude (rad), altitude (m)'
    '2', '3', 'roll, pitch, heading (rad)'
    '3', '2', 'calibrated airspeed (kt), climb rate (ft/s)'
    '4', '7', 'flaps, elevator, aileron, rudder (normalised, -1 to 1); elements 5 to 7 unused'
    '5', '3', 'engine running (> 0), rpm, fuel flow (gal/h)'
    '6', '1', 'height above ground (m)'
    '7', '3', 'velocity north, east, down (ft/s)'
    '8', '3', 'roll, pitch, yaw rate (rad/s)'
    '9', '3', 'body accelerations x, y, z at the pilot (ft/s^2)'};
text = sprintf(['Sends its inputs to FlightGear at every major time step, as FlightGear''s native ' ...
    'flight-dynamics packet in one UDP datagram. Start FlightGear with --native-fdm=socket,in,RATE,,PORT,udp ' ...
    'and --fdm=null (orvalink-fly does it for you).\n\nFlightGear release: 0.9.10 and later read packet ' ...
    'version 24; 0.9.4 reads version 17.\n\nInputs (the block converts nothing):\nPort  Width  Elements\n']);
for row = 1:size(rows, 1)
    text = [text sprintf('%-5s %-6s %s\n', rows{row, :})]; %#ok<AGROW>
end
end

function writeLibraryList(folder, name)
% slblocks.m lists the library in the Library Browser of every release; it
% names the library, which is how a later run knows the file is its own.
handle = fopen(fullfile(folder, 'slblocks.m'), 'w');
if handle < 0
    error('orvalink_library:slblocks', 'Could not write slblocks.m in %s: give a folder you can write.', folder);
end
fprintf(handle, ['function blkStruct = slblocks\n' ...
    '%%SLBLOCKS Lists the FlightGear link library in the Simulink Library Browser.\n' ...
    'blkStruct.Browser(1).Library = ''%s'';\n' ...
    'blkStruct.Browser(1).Name = ''FlightGear link (orvalink)'';\n' ...
    'end\n'], name);
fclose(handle);
end
