function check(condition, what)
% Fails the Octave test that calls it, naming what did not hold.
if ~condition
    error('matlab_test:failed', 'failed: %s', what);
end
end
