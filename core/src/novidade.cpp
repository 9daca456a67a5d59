#include "kivo/novidade.hpp"

#include <algorithm>
#include <string_view>
#include <utility>

#include "unicode.hpp"

namespace kivo {

Novidade Novidade::chamou(Sessao sessao) { return Novidade{Caso::chamou, std::move(sessao)}; }
Novidade Novidade::terminou(Sessao sessao) { return Novidade{Caso::terminou, std::move(sessao)}; }
Novidade Novidade::errou(Sessao sessao) { return Novidade{Caso::errou, std::move(sessao)}; }

bool Novidade::operator==(const Novidade& outra) const {
    return caso == outra.caso && sessao == outra.sessao;
}

namespace {

// Finds the record of the previous reading under an id, where canonically
// equivalent ids are the same id. The exact key is tried first, so ids that are
// stored as given (the usual case) cost one map lookup.
class Anteriores {
public:
    explicit Anteriores(const std::map<std::string, Sessao>& antes) : antes_(antes) {}

    const Sessao* procurar(const std::string& id) {
        if (const auto it = antes_.find(id); it != antes_.end()) return &it->second;
        // Text that is not valid UTF-8 is equal only to the same bytes.
        if (!texto::utf8Valido(id)) return nullptr;
        indexar();
        if (foraDeNfc_.empty() && texto::ehAscii(id)) return nullptr;
        const std::string forma = texto::nfc(id);
        // A key already in NFC is found under the id's NFC form...
        if (forma != id) {
            if (const auto it = antes_.find(forma); it != antes_.end()) return &it->second;
        }
        // ...any other key through its own NFC form. Among several equivalent keys
        // the first in the map's order wins.
        const auto it = std::lower_bound(
            foraDeNfc_.begin(), foraDeNfc_.end(), forma,
            [](const auto& par, const std::string& f) { return par.first < f; });
        if (it != foraDeNfc_.end() && it->first == forma) return it->second;
        return nullptr;
    }

private:
    // The NFC forms of the keys that are not in NFC themselves, sorted; built on the
    // first id that has no exact key, once per call.
    void indexar() {
        if (indexado_) return;
        indexado_ = true;
        for (const auto& [chave, sessao] : antes_) {
            if (texto::ehAscii(chave) || !texto::utf8Valido(chave)) continue;
            std::string forma = texto::nfc(chave);
            if (forma != chave) foraDeNfc_.emplace_back(std::move(forma), &sessao);
        }
        std::stable_sort(foraDeNfc_.begin(), foraDeNfc_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    }

    const std::map<std::string, Sessao>& antes_;
    bool indexado_ = false;
    std::vector<std::pair<std::string, const Sessao*>> foraDeNfc_;
};

}  // namespace

std::vector<Novidade> novidades(const std::map<std::string, Sessao>& antes,
                                const std::vector<Sessao>& depois) {
    std::vector<Novidade> resultado;
    Anteriores anteriores(antes);
    for (const Sessao& s : depois) {
        // Only the stored states count here: no time limit is applied. A state
        // entered anew (another mudouEstadoEm) is news again.
        if (s.estado != Estado::atencao && s.estado != Estado::feito && s.estado != Estado::erro)
            continue;
        if (const Sessao* a = anteriores.procurar(s.id);
            a && a->estado == s.estado && a->mudouEstadoEm == s.mudouEstadoEm)
            continue;
        switch (s.estado) {
            case Estado::atencao: resultado.push_back(Novidade::chamou(s)); break;
            case Estado::feito: resultado.push_back(Novidade::terminou(s)); break;
            case Estado::erro: resultado.push_back(Novidade::errou(s)); break;
            case Estado::ocioso:
            case Estado::trabalhando: break;
        }
    }
    return resultado;
}

}  // namespace kivo
