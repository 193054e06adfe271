function standin_fail(format, varargin)
% The stand-ins' refusal of a name the documentation does not have.
error('standin:undocumented', ['Simulink stand-in: ' format], varargin{:});
end
