function built = build_orvalink(folder)
%BUILD_ORVALINK Build the orvalink S-function blocks and their library for this MATLAB.
%   BUILD_ORVALINK builds the MEX files orvalink and orvalink_controls from
%   orvalink.cpp and orvalink_controls.cpp, which lie beside this function,
%   into the current folder, puts their makecfg files beside them (for
%   generated code and Rapid Accelerator) and makes the library
%   orvalink_lib.slx there, with the masked blocks "FlightGear link" and
%   "FlightGear controls". Where the current folder cannot be written (a
%   package folder under Program Files, say), it builds into your user
%   folder (userpath) instead and says so.
%   BUILD_ORVALINK(FOLDER) builds into FOLDER (relative to the current one).
%   BUILT = BUILD_ORVALINK(...) also returns the full name of orvalink's MEX file.
%
%   Run it once for each MATLAB release. Then run orvalink_demo, or drag
%   the blocks from the Library Browser into your model.

if exist('OCTAVE_VERSION', 'builtin')
    error('build_orvalink:octave', ['orvalink is a Simulink block: build it in MATLAB with Simulink, ' ...
        'which GNU Octave does not have.']);
end
if ~exist('new_system') %#ok<EXIST> a function of Simulink's, whatever kind of file it is
    error('build_orvalink:noSimulink', ['orvalink is a Simulink block: build it in a MATLAB that has ' ...
        'Simulink installed.']);
end
here = fileparts(mfilename('fullpath'));
blocks = {'orvalink', 'orvalink_controls'};
for k = 1:numel(blocks)
    if ~exist(fullfile(here, [blocks{k} '.cpp']), 'file')
        error('build_orvalink:noSource', '%s.cpp is missing from %s: reinstall the package.', blocks{k}, here);
    end
end
if isempty(mex.getCompilerConfigurations('C++'))
    error('build_orvalink:noCompiler', ['No C++ compiler is set up for mex: install one (on Windows the free ' ...
        'MinGW-w64 add-on, "MATLAB Support for MinGW-w64 C/C++ Compiler", from the Add-On Explorer), ' ...
        'run mex -setup C++, and run build_orvalink again.']);
end

if nargin < 1
    folder = pwd;
    if ~isWritable(folder)
        folder = userFolder();
        fprintf('The current folder %s cannot be written, so the block goes into your user folder %s.\n', ...
            pwd, folder);
        fprintf(['MATLAB puts that folder on the path when it starts; if yours does not, ' ...
            'run addpath(''%s''); savepath\n'], folder);
    end
elseif ~ischar(folder) || ~exist(folder, 'dir')
    error('build_orvalink:noFolder', 'The folder to build into does not exist: %s', char(folder));
else
    folder = absolute(folder);
    if ~isWritable(folder)
        error('build_orvalink:readOnly', 'The folder %s cannot be written: give one that can.', folder);
    end
end

previous = cd(here);
restore = onCleanup(@() cd(previous));
for k = 1:numel(blocks)
    % A loaded MEX file cannot be replaced (on Windows the link fails).
    clear(blocks{k});
    % mex compiles the source where it lies, and writes the MEX file to folder.
    % The source reads real double parameters through mxGetPr: the separate-complex API.
    args = {'-R2017b', '-outdir', folder, '-output', blocks{k}, [blocks{k} '.cpp']};
    if ispc
        args{end + 1} = '-lws2_32'; %#ok<AGROW>
    end
    mex(args{:});
    fprintf('Built %s (orvalink %s)\n', fullfile(folder, [blocks{k} '.' mexext]), '@PROJECT_VERSION@');
end
clear restore

built = fullfile(folder, ['orvalink.' mexext]);
if ~strcmp(absolute(folder), here)
    for k = 1:numel(blocks)
        copyfile(fullfile(here, [blocks{k} '_makecfg.m']), folder);
    end
end
library = orvalink_library(folder);
fprintf('Made the library %s\n', library);
if ~onPath(folder)
    fprintf('Simulink finds the block only on the path: addpath(''%s'')\n', folder);
end
fprintf(['Next: run orvalink_demo (or orvalink_demo(''pilot'') to fly it yourself), or drag the FlightGear ' ...
    'link and FlightGear controls blocks from the Library Browser (FlightGear link (orvalink)) into your model.\n']);
if nargout == 0
    clear built
end
end

function folder = absolute(folder)
% Relative to the folder the user is in, not to the one mex runs in.
previous = cd(folder);
folder = pwd;
cd(previous);
end

function ok = isWritable(folder)
% Writing a file is the one test that also holds where permissions lie.
probe = [tempname(folder) '.tmp'];
handle = fopen(probe, 'w');
ok = handle >= 0;
if ok
    fclose(handle);
    delete(probe);
end
end

function folder = userFolder()
folder = userpath;
% Some releases end it with the path separator.
if ~isempty(folder) && folder(end) == pathsep
    folder = folder(1:end - 1);
end
if isempty(folder) || ~exist(folder, 'dir')
    error('build_orvalink:noUserFolder', ['The current folder cannot be written and there is no user ' ...
        'folder: cd to a folder you can write, or call build_orvalink(folder).']);
end
end

function yes = onPath(folder)
if ispc
    same = @strcmpi;  % Windows folder names ignore case
else
    same = @strcmp;
end
yes = same(folder, pwd) || any(same(folder, strsplit(path, pathsep)));
end
