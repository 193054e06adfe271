function addLinkFlags(buildInfo, options)
% Stand-in for RTW.BuildInfo's addLinkFlags: records the options given.
global STANDIN
STANDIN.linkFlags{end + 1} = {buildInfo, options};
end
