// kivo_web: the program behind `kivo web` (kivo starts it with the same arguments).
#include <string_view>
#include <vector>

#include "comando.hpp"

int main(int argc, char** argv) {
    return kivo::web::comandoWeb(std::vector<std::string_view>(argv + 1, argv + argc));
}
