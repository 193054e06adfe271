function build_orvalink_test(mexFolder)
% The logic of build_orvalink.m under GNU Octave, with stand-ins for mex,
% ispc, userpath, exist's two questions and Simulink's calls first on the
% path: the arguments mex gets on Windows and Linux, the folders it builds
% in and into, the library and makecfg file beside the MEX file, and the
% messages for Octave, a missing Simulink or compiler, an unwritable
% current folder and a folder that does not exist.
global STANDIN
reset(false, '');  % Octave's own file functions ask ispc too
package = tempname();
mkdir(package);
for file = {'build_orvalink.m', 'orvalink.cpp', 'orvalink_controls.cpp', 'orvalink_library.m', 'orvalink_makecfg.m', ...
        'orvalink_controls_makecfg.m'}
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
cleanup = onCleanup(@() cd(start));
expected = {'-R2017b', '-outdir', '', '-output', 'orvalink', 'orvalink.cpp'};
expectedControls = {'-R2017b', '-outdir', '', '-output', 'orvalink_controls', 'orvalink_controls.cpp'};

% Linux: into the current folder, from the package folder, no socket library.
reset(false, users);
cd(work);
orvalink();
orvalink();
text = evalc('built = build_orvalink();');
check(orvalink() == 1, 'a loaded orvalink is cleared before the build');
check(numel(STANDIN.calls) == 2, 'one mex call a block');
check(strcmp(STANDIN.calls{1}{1}, package) && strcmp(STANDIN.calls{2}{1}, package), ...
    'mex runs in the folder that holds the sources');
check(isequal(STANDIN.calls{1}{2}, withOutdir(expected, work)), 'mex arguments on Linux, the API named');
check(isequal(STANDIN.calls{2}{2}, withOutdir(expectedControls, work)), 'the controls block built the same way');
check(isequal(STANDIN.languages, {'C++'}), 'asks for a C++ compiler');
check(strcmp(pwd, work), 'the current folder is restored');
check(strcmp(built, fullfile(work, ['orvalink.' mexext])), 'returns the MEX file');
check(has(text, ['Built ' fullfile(work, ['orvalink.' mexext])]), 'says where the MEX file went');
check(has(text, ['Built ' fullfile(work, ['orvalink_controls.' mexext])]), 'and the controls block''s');
check(~isempty(regexp(text, '\(orvalink \d+\.\d+\.\d+\)', 'once')), 'says which release it built');
check(exist(fullfile(work, 'orvalink_lib.slx'), 'file') && exist(fullfile(work, 'slblocks.m'), 'file'), ...
    'makes the library beside the MEX file');
check(has(text, ['Made the library ' fullfile(work, 'orvalink_lib.slx')]), 'says where the library went');
for block = {'orvalink', 'orvalink_controls'}
    makecfg = [block{1} '_makecfg.m'];
    check(strcmp(fileread(fullfile(work, makecfg)), fileread(fullfile(package, makecfg))), ...
        ['puts ' makecfg ' beside the MEX files']);
end
check(has(text, 'orvalink_demo') && has(text, 'Library Browser'), 'ends with the next step');
check(~has(text, 'addpath'), 'no path advice for the current folder');

% Windows: the same, with Windows Sockets.
reset(true, users);
evalc('build_orvalink();');
check(isequal(STANDIN.calls{1}{2}, [withOutdir(expected, work), {'-lws2_32'}]), 'mex arguments on Windows');
check(isequal(STANDIN.calls{2}{2}, [withOutdir(expectedControls, work), {'-lws2_32'}]), 'both blocks with Windows Sockets');

% A folder given: built there, with the addpath line, since it is not on the path;
% a relative one from the folder the user is in.
reset(false, users);
text = evalc('build_orvalink(other);');
check(isequal(STANDIN.calls{1}{2}, withOutdir(expected, other)), 'builds into the folder given');
check(has(text, ['addpath(''' other ''')']), 'says how to put the folder on the path');
check(exist(fullfile(other, 'orvalink_lib.slx'), 'file') > 0, 'the library goes with the MEX file');
mkdir(fullfile(work, 'relative'));
reset(false, users);
evalc('build_orvalink(''relative'');');
check(isequal(STANDIN.calls{1}{2}, withOutdir(expected, fullfile(work, 'relative'))), ...
    'a relative folder is taken from the current folder');

% Octave, a MATLAB without Simulink, no compiler: one sentence each, and no build.
reset(false, users);
STANDIN.octave = true;
message = error_of(@() build_orvalink());
check(has(message, 'Simulink') && has(message, 'Octave'), 'says Octave has no Simulink');
reset(false, users);
STANDIN.simulink = false;
message = error_of(@() build_orvalink());
check(has(message, 'Simulink installed'), 'says Simulink is needed');
reset(true, users);
STANDIN.compilers = struct([]);
message = error_of(@() build_orvalink());
check(has(message, 'No C++ compiler is set up for mex') && has(message, 'MinGW-w64'), ...
    'names the missing compiler and the add-on');
check(isempty(STANDIN.calls), 'no build without Simulink or a compiler');

% A current folder that cannot be written (root included): into the user folder.
reset(false, users);
cd('/proc');
text = evalc('build_orvalink();');
cd(work);
check(isequal(STANDIN.calls{1}{2}, withOutdir(expected, users)), 'falls back to the user folder');
check(has(text, 'cannot be written') && has(text, users), 'says where the block went instead');
check(has(text, ['addpath(''' users ''')']), 'says how to keep the user folder on the path');

% A source missing: named, and nothing built.
movefile(fullfile(package, 'orvalink_controls.cpp'), fullfile(package, 'away.cpp'));
reset(false, users);
message = error_of(@() build_orvalink());
check(has(message, 'orvalink_controls.cpp is missing') && has(message, 'reinstall'), 'names the missing source');
check(isempty(STANDIN.calls), 'nothing built without every source');
movefile(fullfile(package, 'away.cpp'), fullfile(package, 'orvalink_controls.cpp'));

% Refusals and a failed build.
reset(false, users);
message = error_of(@() build_orvalink(fullfile(work, 'missing')));
check(has(message, 'does not exist'), 'a folder that does not exist');
check(error_caught(@() build_orvalink('/proc')) && isempty(STANDIN.calls), 'a folder that cannot be written');
STANDIN.failBuild = true;
check(error_caught(@() build_orvalink()), 'a failed build is an error');
check(strcmp(pwd, work), 'the current folder is restored after a failed build');

rmpath(package);
rmpath(loaded);
disp('build_orvalink: all checks passed');
end

function reset(pc, users)
global STANDIN
STANDIN = struct('calls', {{}}, 'languages', {{}}, 'pc', pc, 'compilers', struct('Name', 'g++'), ...
    'failBuild', false, 'userFolder', users, 'octave', false, 'simulink', true);
simulink_standin('reset');
end

function args = withOutdir(args, folder)
args{3} = folder;
end

function writeText(file, text)
handle = fopen(file, 'w');
fprintf(handle, text);
fclose(handle);
end
