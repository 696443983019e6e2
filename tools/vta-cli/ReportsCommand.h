#pragma once

// "vta-cli reports CONNECTION [--count N] [--seconds S] [--struct] [--option N]...": argc/argv are
// the arguments after "reports". Returns the exit code.
int ReportsCommand(int argc, char** argv);
