#include "puzzle/ONEPUZZLE.h"

bool ONEPUZZLE::BuildPieceShapes(char*)
{
    // The 64 piece shapes are built here from "zar.vnt" into modelLists.
    return false;
}
