#pragma once

// "vta-cli run [--config-dir DIR] [--connect CONNECTION]": argc/argv are the program's own (the
// event loop takes them), the arguments of "run" start at argv[2]. Returns the exit code.
int RunCommand(int argc, char** argv);
