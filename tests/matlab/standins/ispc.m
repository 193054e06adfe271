function yes = ispc()
% Stand-in: the test says which system the build runs on.
global STANDIN
yes = STANDIN.pc;
end
