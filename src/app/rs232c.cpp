// rs232c, the shell executable: see commands/Commands.h.

#include "commands/Commands.h"

int main(int argc, char* argv[])
{
    return runCommandLine(argc, argv);
}
