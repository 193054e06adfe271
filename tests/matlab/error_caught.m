function caught = error_caught(call)
% Whether call raises an error.
caught = false;
try
    evalc('call();');
catch
    caught = true;
end
end
