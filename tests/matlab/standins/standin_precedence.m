function file = standin_precedence(name)
% Which file MATLAB runs for NAME (no variable, local function or class of
% that name): the current folder before the path, the path in order, and
% within one folder a MEX file, then a model (.slx, then .mdl), then a
% program file (.m). '' when there is none.
folders = [{pwd}, strsplit(path, pathsep)];
for k = 1:numel(folders)
    for extension = {['.' mexext], '.slx', '.mdl', '.m'}
        candidate = fullfile(folders{k}, [name extension{1}]);
        if exist(candidate, 'file') == 2
            file = candidate;
            return
        end
    end
end
file = '';
end
