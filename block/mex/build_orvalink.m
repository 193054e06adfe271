function built = build_orvalink(folder)
%BUILD_ORVALINK Build the orvalink S-function blocks and their library for this MATLAB.
%   BUILD_ORVALINK builds the MEX files orvalink and orvalink_controls from
%   orvalink.cpp and orvalink_controls.cpp, which lie beside this function,
%   into a folder of this release's own, orvalink_R<release> (for example
%   orvalink_R2024b) in the current folder, and puts that folder on the path.
%   Beside the MEX files go their sources and makecfg files (for generated
%   code and Rapid Accelerator) and the library orvalink_lib, with the
%   masked blocks "FlightGear link" and "FlightGear controls". Where the
%   current folder cannot be written (a package folder under Program Files,
%   say), the release's folder goes into your user folder (userpath)
%   instead, and it says so.
%   BUILD_ORVALINK(FOLDER) builds into FOLDER itself (relative to the
%   current one).
%   BUILT = BUILD_ORVALINK(...) also returns the full name of orvalink's MEX file.
%
%   Run it once in each MATLAB release you use: each keeps its build apart,
%   since an older release cannot open a library a newer one saved. Then run
%   orvalink_demo, or drag the blocks from the Library Browser into your
%   model. It works in R2006b and later; the library needs R2010a, the demo
%   R2018a.

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
% mex.getCompilerConfigurations came in R2008b; before it, mex itself says what is missing.
if releaseAtLeast('2008b') && isempty(mex.getCompilerConfigurations('C++'))
    error('build_orvalink:noCompiler', ['No C++ compiler is set up for mex: install one (on Windows the free ' ...
        'MinGW-w64 add-on, "MATLAB Support for MinGW-w64 C/C++ Compiler", from the Add-On Explorer), ' ...
        'run mex -setup C++, and run build_orvalink again.']);
end

release = version('-release');
if nargin < 1
    base = pwd;
    if ~isWritable(base)
        base = userFolder();
        fprintf('The current folder %s cannot be written, so the block goes into your user folder %s.\n', ...
            pwd, base);
    end
    folder = fullfile(base, ['orvalink_R' release]);
    if ~exist(folder, 'dir') && ~mkdir(folder)
        error('build_orvalink:noFolder', 'Could not make the folder %s: give one that can be written.', folder);
    end
elseif ~ischar(folder) || ~exist(folder, 'dir')
    error('build_orvalink:noFolder', 'The folder to build into does not exist: %s', char(folder));
else
    folder = absolute(folder);
    if ~isWritable(folder)
        error('build_orvalink:readOnly', 'The folder %s cannot be written: give one that can.', folder);
    end
end
list = fullfile(folder, 'slblocks.m');
if exist(list, 'file') && isempty(strfind(fileread(list), '''orvalink_lib''')) %#ok<STREMP> strfind: R2006b
    error('build_orvalink:slblocks', ['%s lists another library in the Library Browser, so orvalink will not ' ...
        'overwrite it: run build_orvalink with no folder, or give a folder of its own.'], list);
end
setAsideOldDemos({pwd, userFolderIfAny(), folder});

% mex compiles the source where it lies and writes the MEX file to folder.
previous = cd(here);
failure = '';
try
    for k = 1:numel(blocks)
        % A loaded MEX file cannot be replaced (on Windows the link fails).
        clear(blocks{k});
        args = {'-outdir', folder, '-output', blocks{k}, [blocks{k} '.cpp']};
        if releaseAtLeast('2018a')
            % The source reads real double parameters through mxGetPr: the separate-complex
            % API, named since the default may change; earlier releases know only that one.
            args = [{'-R2017b'}, args]; %#ok<AGROW>
        end
        if ispc
            args{end + 1} = '-lws2_32'; %#ok<AGROW>
        end
        mex(args{:});
        fprintf('Built %s (orvalink %s)\n', fullfile(folder, [blocks{k} '.' mexext]), '@PROJECT_VERSION@');
    end
catch
    failure = lasterr; %#ok<LERR> 'catch err' came in R2007b
end
cd(previous);
if ~isempty(failure)
    error('build_orvalink:build', '%s', failure);
end

built = fullfile(folder, ['orvalink.' mexext]);
if ~strcmp(folder, here)
    % Generated code and Rapid Accelerator look for the source and makecfg beside the MEX file.
    for k = 1:numel(blocks)
        copyfile(fullfile(here, [blocks{k} '.cpp']), folder);
        copyfile(fullfile(here, [blocks{k} '_makecfg.m']), folder);
    end
end
if releaseAtLeast('2010a')
    library = orvalink_library(folder);
    fprintf('Made the library %s\n', library);
else
    fprintf(['R%s has no Simulink.Mask (it came in R2010a), so there is no library: add an S-Function ' ...
        'block, S-function name orvalink, parameters 0.05, ''127.0.0.1'', 5500 (sample time, host, port).\n'], ...
        release);
end
if ~onPath(folder)
    addpath(folder);
    fprintf('Put %s on the path for this session; to keep it there in R%s, run savepath.\n', folder, release);
end
fprintf('Each MATLAB release builds into a folder of its own: this is R%s''s, %s.\n', release, folder);
if releaseAtLeast('2010a')
    fprintf(['If the Library Browser is open, refresh it (R2016b and later: lb = LibraryBrowser.LibraryBrowser2; ' ...
        'refresh(lb); or close and open it again).\n']);
    blocksNext = ['drag the FlightGear link and FlightGear controls blocks from the Library Browser ' ...
        '(FlightGear link (orvalink)) into your model'];
    if releaseAtLeast('2018a')
        fprintf('Next: run orvalink_demo (or orvalink_demo(''pilot'') to fly it yourself), or %s.\n', blocksNext);
    else
        fprintf('Next: %s (the demo models need R2018a, for simulation pacing).\n', blocksNext);
    end
end
if nargout == 0
    clear built
end
end

function yes = releaseAtLeast(first)
% version('-release') is 'YYYYa' or 'YYYYb' from R2006b on: they sort as text.
ordered = sort({first, version('-release')});
yes = strcmp(ordered{1}, first);
end

function setAsideOldDemos(folders)
% Earlier releases saved the demo model as orvalink_demo.slx. A model
% in the current folder, or earlier on the path, runs in place of the
% function orvalink_demo, so it is renamed, never deleted (it may hold edits).
for k = 1:numel(folders)
    for extension = {'.slx', '.mdl'}
        old = fullfile(folders{k}, ['orvalink_demo' extension{1}]);
        if isempty(folders{k}) || ~exist(old, 'file')
            continue
        end
        for n = 1:99
            kept = fullfile(folders{k}, sprintf('orvalink_demo_old%d%s', n, extension{1}));
            if ~exist(kept, 'file')
                break
            end
        end
        if movefile(old, kept)
            fprintf(['Renamed %s to %s: a model named orvalink_demo would run in place of the function ' ...
                'orvalink_demo.\n'], old, kept);
        else
            fprintf('Warning: %s runs in place of the function orvalink_demo; rename or delete it.\n', old);
        end
    end
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

function folder = userFolderIfAny()
folder = userpath;
% Some releases end it with the path separator.
if ~isempty(folder) && folder(end) == pathsep
    folder = folder(1:end - 1);
end
if ~isempty(folder) && ~exist(folder, 'dir')
    folder = '';
end
end

function folder = userFolder()
folder = userFolderIfAny();
if isempty(folder)
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
yes = false;
rest = path;
while ~isempty(rest) && ~yes
    [entry, rest] = strtok(rest, pathsep); %#ok<STTOK> strsplit came in R2013a
    yes = same(folder, entry);
end
end
