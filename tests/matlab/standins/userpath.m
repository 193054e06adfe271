function folder = userpath()
% Stand-in: the test's user folder, ended with the separator as some releases do.
global STANDIN
folder = [STANDIN.userFolder pathsep];
end
