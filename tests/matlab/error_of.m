function message = error_of(call)
% The message of the error that call raises; fails the test when it raises none.
message = '';
try
    evalc('call();');
catch problem
    message = problem.message;
end
check(~isempty(message), 'an error was raised');
end
