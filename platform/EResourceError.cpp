#include "EResourceError.h"

std::string EResourceError::OutOfMemoryText()
{
    return "メモリーが足りません。(out of memory)";
}
