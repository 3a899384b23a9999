#include "core/status.h"

StatusValue MakeStatus(ErrorSource source, uint32_t defaultCode, uint32_t line) {
    uint32_t code = source ? source() : 0;
    return StatusOf(code ? code : defaultCode, line);
}
