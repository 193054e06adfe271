function build_orvalink_test(mexFolder)
% The logic of build_orvalink.m under GNU Octave, with stand-ins for mex,
% ispc, userpath, version('-release'), exist's two questions, MATLAB's
% function precedence and Simulink's calls first on the path: the folder of
% each release it builds into and puts on the path, the arguments mex gets
% in each release on Windows and Linux, the sources, makecfg files and
% library beside the MEX files, an earlier demo model set aside, another
% library's slblocks.m left alone, and the messages for Octave, a missing
% Simulink or compiler, an unwritable current folder and a folder that does
% not exist. Then the makecfg files' link option for each compiler.
global STANDIN
reset(false, '', '2024b');  % Octave's own file functions ask ispc too
package = tempname();
mkdir(package);
for file = {'build_orvalink.m', 'orvalink.cpp', 'orvalink_controls.cpp', 'orvalink_library.m', 'orvalink_demo.m', ...
        'orvalink_makecfg.m', 'orvalink_controls_makecfg.m'}
    copyfile(fullfile(mexFolder, file{1}), package);
end
addpath(package);
work = tempname();
mkdir(work);
other = tempname();
mkdir(other);
users = tempname();
mkdir(users);
loaded = tempname();  % a MEX file MATLAB has loaded: a function with state
mkdir(loaded);
writeText(fullfile(loaded, 'orvalink.m'), ['function n = orvalink()\npersistent calls\n' ...
    'if isempty(calls)\n calls = 0;\nend\ncalls = calls + 1;\nn = calls;\nend\n']);
addpath(loaded);
start = pwd;
startPath = path;
cleanup = onCleanup(@() restore(start, startPath));
blocks = {'orvalink', 'orvalink_controls'};
% An earlier build's demo model where it used to be saved: it would run in place of the function.
writeText(fullfile(work, 'orvalink_demo.slx'), 'an earlier demo model');
writeText(fullfile(users, 'orvalink_demo.mdl'), 'an older one');

% Linux, this release: into a folder of the release's own, put on the path.
reset(false, users, '2024b');
cd(work);
orvalink();
orvalink();
check(strcmp(standin_precedence('orvalink_demo'), fullfile(work, 'orvalink_demo.slx')), ...
    'the stand-in sees the earlier model shadow the function');
text = evalc('built = build_orvalink();');
release = fullfile(work, 'orvalink_R2024b');
check(orvalink() == 1, 'a loaded orvalink is cleared before the build');
check(numel(STANDIN.calls) == 2, 'one mex call a block');
for k = 1:2
    check(strcmp(STANDIN.calls{k}{1}, package), 'mex runs in the folder that holds the sources');
    check(isequal(STANDIN.calls{k}{2}, mexArguments('2024b', false, release, blocks{k})), ...
        ['mex arguments on Linux, the API named: ' blocks{k}]);
    check(has(text, ['Built ' fullfile(release, [blocks{k} '.' mexext])]), 'says where each MEX file went');
    for beside = {'.cpp', '_makecfg.m'}
        name = [blocks{k} beside{1}];
        check(strcmp(fileread(fullfile(release, name)), fileread(fullfile(package, name))), ...
            ['puts ' name ' beside the MEX files']);
    end
end
check(isequal(STANDIN.languages, {'C++'}), 'asks for a C++ compiler');
check(strcmp(pwd, work), 'the current folder is restored');
check(strcmp(built, fullfile(release, ['orvalink.' mexext])), 'returns the MEX file');
check(~isempty(regexp(text, '\(orvalink \d+\.\d+\.\d+\)', 'once')), 'says which release it built');
check(exist(fullfile(release, 'orvalink_lib.slx'), 'file') && exist(fullfile(release, 'slblocks.m'), 'file'), ...
    'makes the library beside the MEX files');
check(has(text, ['Made the library ' fullfile(release, 'orvalink_lib.slx')]), 'says where the library went');
check(onPath(release) && has(text, 'savepath'), 'puts the release''s folder on the path, and says how to keep it');
check(has(text, 'folder of its own: this is R2024b''s') && has(text, 'refresh(lb)'), ...
    'the closing lines name the release''s folder and the Library Browser''s refresh');
check(has(text, 'orvalink_demo') && has(text, 'Library Browser'), 'ends with the next step');
% The earlier demo models, set aside under names of their own, so that the function runs.
check(strcmp(fileread(fullfile(work, 'orvalink_demo_old1.slx')), 'an earlier demo model') && ...
    strcmp(fileread(fullfile(users, 'orvalink_demo_old1.mdl')), 'an older one'), 'earlier demo models kept, renamed');
check(has(text, ['Renamed ' fullfile(work, 'orvalink_demo.slx')]), 'says which model it renamed');
check(strcmp(standin_precedence('orvalink_demo'), fullfile(package, 'orvalink_demo.m')), ...
    'orvalink_demo runs the function again');

% Each release: its own folder, the API flag only where mex knows it, the
% library as SLX, MDL or not at all, the compiler asked about where it can be.
cases = {
    % release  pc     library              compiler asked
    '2017b',   false, 'orvalink_lib.slx',  true
    '2018a',   true,  'orvalink_lib.slx',  true
    '2011b',   true,  'orvalink_lib.mdl',  true
    '2009b',   false, '',                  true
    '2006b',   true,  '',                  false};
for row = 1:size(cases, 1)
    [name, pc, library, asked] = cases{row, :};
    reset(pc, users, name);
    text = evalc('build_orvalink();');
    folder = fullfile(work, ['orvalink_R' name]);
    for k = 1:2
        check(isequal(STANDIN.calls{k}{2}, mexArguments(name, pc, folder, blocks{k})), ...
            ['mex arguments in R' name ': ' blocks{k}]);
    end
    if isempty(library)
        check(~exist(fullfile(folder, 'slblocks.m'), 'file') && has(text, 'Simulink.Mask') && ...
            has(text, 'S-function name orvalink') && ~has(text, 'Next:'), ['R' name ': no library, and what to do instead']);
    else
        check(exist(fullfile(folder, library), 'file') > 0, ['R' name ': the library as ' library]);
        check(has(text, 'run orvalink_demo') == strcmp(name, '2018a') && has(text, 'Library Browser'), ...
            ['R' name ': the next step, the demo only where it runs']);
    end
    check(numel(STANDIN.languages) == asked && all(strcmp(STANDIN.languages, 'C++')), ...
        ['R' name ': the compiler asked about']);
end
check(exist(fullfile(release, 'orvalink_lib.slx'), 'file') > 0, 'an older release''s build leaves the newer one''s');

% A folder given: built there, put on the path; a relative one from the folder the user is in.
reset(false, users, '2024b');
text = evalc('build_orvalink(other);');
check(isequal(STANDIN.calls{1}{2}, mexArguments('2024b', false, other, 'orvalink')), 'builds into the folder given');
check(onPath(other) && has(text, other), 'puts the folder given on the path');
check(exist(fullfile(other, 'orvalink_lib.slx'), 'file') > 0, 'the library goes with the MEX file');
mkdir(fullfile(work, 'relative'));
reset(false, users, '2024b');
evalc('build_orvalink(''relative'');');
check(isequal(STANDIN.calls{1}{2}, mexArguments('2024b', false, fullfile(work, 'relative'), 'orvalink')), ...
    'a relative folder is taken from the current folder');

% Another library's slblocks.m in the folder given: left as it is, and nothing built.
theirs = tempname();
mkdir(theirs);
own = sprintf('function blkStruct = slblocks\nblkStruct.Browser(1).Library = ''my_lib'';\nend\n');
writeText(fullfile(theirs, 'slblocks.m'), own);
reset(false, users, '2024b');
message = error_of(@() build_orvalink(theirs));
check(has(message, fullfile(theirs, 'slblocks.m')) && has(message, 'another library'), ...
    'names the other library''s slblocks.m');
check(isempty(STANDIN.calls) && strcmp(fileread(fullfile(theirs, 'slblocks.m')), own), ...
    'nothing built, and the user''s slblocks.m as it was');

% Octave, a MATLAB without Simulink, no compiler: one sentence each, and no build.
reset(false, users, '2024b');
STANDIN.octave = true;
message = error_of(@() build_orvalink());
check(has(message, 'Simulink') && has(message, 'Octave'), 'says Octave has no Simulink');
reset(false, users, '2024b');
STANDIN.simulink = false;
message = error_of(@() build_orvalink());
check(has(message, 'Simulink installed'), 'says Simulink is needed');
reset(true, users, '2024b');
STANDIN.compilers = struct([]);
message = error_of(@() build_orvalink());
check(has(message, 'No C++ compiler is set up for mex') && has(message, 'MinGW-w64'), ...
    'names the missing compiler and the add-on');
check(isempty(STANDIN.calls), 'no build without Simulink or a compiler');

% A current folder that cannot be written (root included): into the user folder's release folder.
reset(false, users, '2024b');
cd('/proc');
text = evalc('build_orvalink();');
cd(work);
check(isequal(STANDIN.calls{1}{2}, mexArguments('2024b', false, fullfile(users, 'orvalink_R2024b'), 'orvalink')), ...
    'falls back to the user folder');
check(has(text, 'cannot be written') && has(text, users), 'says where the block went instead');

% A source missing: named, and nothing built.
movefile(fullfile(package, 'orvalink_controls.cpp'), fullfile(package, 'away.cpp'));
reset(false, users, '2024b');
message = error_of(@() build_orvalink());
check(has(message, 'orvalink_controls.cpp is missing') && has(message, 'reinstall'), 'names the missing source');
check(isempty(STANDIN.calls), 'nothing built without every source');
movefile(fullfile(package, 'away.cpp'), fullfile(package, 'orvalink_controls.cpp'));

% Refusals and a failed build.
reset(false, users, '2024b');
message = error_of(@() build_orvalink(fullfile(work, 'missing')));
check(has(message, 'does not exist'), 'a folder that does not exist');
check(error_caught(@() build_orvalink('/proc')) && isempty(STANDIN.calls), 'a folder that cannot be written');
STANDIN.failBuild = true;
check(has(error_of(@() build_orvalink()), 'the compiler failed'), 'a failed build is an error, with mex''s words');
check(strcmp(pwd, work), 'the current folder is restored after a failed build');

% The makecfg files: MinGW-w64 on Windows gets Windows Sockets as a link
% option (RTW.BuildInfo's addLinkFlags); MSVC takes it from the source, other systems need none.
compilers = {
    % pc     compiler name                         link flags
    true,    'MinGW64 Compiler (C)',               {'-lws2_32'}
    true,    'Microsoft Visual C++ 2022 (C)',      {}
    false,   'gcc',                                {}};
for row = 1:size(compilers, 1)
    for k = 1:2
        reset(compilers{row, 1}, users, '2024b');
        STANDIN.compilers = struct('Name', compilers{row, 2}, 'ShortName', '');
        feval([blocks{k} '_makecfg'], 'build information');
        flags = cellfun(@(call) call{2}, STANDIN.linkFlags, 'UniformOutput', false);
        check(isequal(flags, compilers{row, 3}) && all(cellfun(@(call) strcmp(call{1}, 'build information'), ...
            STANDIN.linkFlags)), [blocks{k} '_makecfg with ' compilers{row, 2}]);
    end
end

disp('build_orvalink: all checks passed');
end

function reset(pc, users, release)
global STANDIN
STANDIN = struct('calls', {{}}, 'languages', {{}}, 'pc', pc, 'compilers', struct('Name', 'g++', 'ShortName', ''), ...
    'failBuild', false, 'userFolder', users, 'octave', false, 'simulink', true, 'release', release, ...
    'linkFlags', {{}});
simulink_standin('reset');
end

function args = mexArguments(release, pc, folder, block)
% What build_orvalink gives mex: the API flag from R2018a on, Windows Sockets on Windows.
args = {'-outdir', folder, '-output', block, [block '.cpp']};
ordered = sort({'2018a', release});
if strcmp(ordered{1}, '2018a')
    args = [{'-R2017b'}, args];
end
if pc
    args{end + 1} = '-lws2_32';
end
end

function yes = onPath(folder)
yes = any(strcmp(folder, strsplit(path, pathsep)));
end

function restore(folder, savedPath)
cd(folder);
path(savedPath);
end

function writeText(file, text)
handle = fopen(file, 'w');
fprintf(handle, '%s', strrep(text, '\n', sprintf('\n')));
fclose(handle);
end
