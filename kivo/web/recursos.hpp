// The page's files (HTML, CSS, JavaScript, SVG faces), compiled into the binary from
// kivo/web/pagina/ by embutir.cmake. Static data: thread-safe, lives for the whole
// process.
#pragma once

#include <span>
#include <string_view>

namespace kivo::web {

struct Recurso {
    std::string_view caminho;  // "/" for index.html, else "/<file name>"
    std::string_view tipo;     // Content-Type
    std::string_view conteudo;
};

// Every file of the page, in name order.
std::span<const Recurso> recursos();

}  // namespace kivo::web
