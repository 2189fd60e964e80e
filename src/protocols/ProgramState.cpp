#include "protocols/ProgramState.h"

void ProgramState::runBccMake()
{
    BccCode = codec::BccMake(BccSource, BccAdd1, BccAdd2);
}

ProgramState& program()
{
    static ProgramState state;
    return state;
}
