#pragma once

// "vta-cli adev FILE [--phase|--freq] [--tau0 SECONDS] [--column K]": argc/argv are the arguments
// after "adev". Returns the exit code.
int AdevCommand(int argc, char** argv);
