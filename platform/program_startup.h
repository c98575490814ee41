// What the program takes from the system as it starts: its arguments as
// UTF-8, the text every path and message of the program is kept in, and
// standard streams that carry its data unchanged.
//
// POSIX hands a program its arguments as bytes, and file names are bytes
// there too: they are taken as given. Windows converts the arguments it
// passes to main() to the ANSI code page, where a name with a character
// outside that page arrives changed (as '?') and names no file; there they
// are read from the command line in UTF-16 and converted.
#pragma once

#include <string>
#include <vector>

namespace plat {

// The arguments after the program's name, from main()'s argc and argv. False
// with *error, a phrase, when an argument is no text (on Windows: one that
// holds an unpaired surrogate, which no UTF-8 string can carry).
bool ProgramArguments(int argc, char** argv, std::vector<std::string>* arguments,
                      std::string* error);

// Makes standard input and output carry bytes as they are, before either is
// used. Windows' C runtime opens them in text mode, which turns every line
// feed written into CR LF and ends reading at the first Ctrl-Z: fixed-width
// records would change, and a CSV would gain carriage returns. Standard
// error, which only carries messages, keeps the system's line ends.
void UseBinaryStandardStreams();

}  // namespace plat
