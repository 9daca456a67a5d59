// Uses the installed library the way the companion app does: read, summarise, show.
#include <kivo/kivo.hpp>

#include <iostream>

int main() {
    const kivo::Sessao s{.id = "s1", .cwd = "/home/ana/loja-abc1234", .estado = kivo::Estado::feito,
                         .atualizado = 100, .mudouEstadoEm = 98};
    const auto lida = kivo::sessaoDeJson(kivo::paraJson(s));
    const kivo::Resumo r = kivo::resumir({*lida}, 101);
    std::cout << kivo::nomeDe(r.humor) << ' ' << r.destaque->nome() << ' '
              << kivo::Rotulos::doEstado(r.ordenadas.front()) << '\n';
    return lida == s ? 0 : 1;
}
