#include "engine/ParamNames.h"

namespace migracja::engine {

std::string ParamName(int number, std::size_t place) {
    return "p" + std::to_string(number) + static_cast<char>('A' + place);
}

}  // namespace migracja::engine
