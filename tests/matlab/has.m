function yes = has(text, part)
% Whether text holds part (Octave has no contains).
yes = ~isempty(strfind(text, part));
end
