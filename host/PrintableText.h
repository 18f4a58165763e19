// Text from outside (program names from a bank file, a plug-in's strings)
// made safe to print on one line of a terminal or a script's input.
#pragma once

#include <string>

// Control characters (C0, DEL and the C1 range) and bytes that are no valid
// UTF-8 are written as escapes: \n, \r, \t, \e, \\ and \xHH for the rest, so
// a name can neither break a line nor drive the terminal. Printable text,
// UTF-8 included, passes unchanged.
std::string printableText(const std::string& text);
