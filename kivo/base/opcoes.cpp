#include "base/opcoes.hpp"

#include <algorithm>
#include <charconv>

namespace kivo::app {

Opcoes::Opcoes(std::string_view comando, std::span<const std::string_view> args,
               std::span<const Opcao> conhecidas) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--ajuda" || a == "-h") {
            ajudaPedida = true;
            continue;
        }
        const Opcao* opcao = nullptr;
        std::optional<std::string_view> valor;
        for (const Opcao& o : conhecidas) {
            if (a == o.nome) {
                opcao = &o;
            } else if (o.comValor && a.size() > o.nome.size() && a.starts_with(o.nome) &&
                       a[o.nome.size()] == '=') {
                opcao = &o;
                valor = a.substr(o.nome.size() + 1);
            }
            if (opcao) break;
        }
        if (!opcao) {
            erro =
                "op\u00E7\u00E3o desconhecida para " + std::string(comando) + ": " + std::string(a);
            return;
        }
        if (!opcao->comValor) {
            marcadas_.emplace_back(a);
            continue;
        }
        if (!valor) {
            if (i + 1 >= args.size()) {
                erro = opcao->semValor.empty() ? std::string(a) + " precisa de um valor"
                                               : std::string(opcao->semValor);
                return;
            }
            valor = args[++i];
        }
        if (opcao->conferir) {
            if (std::optional<std::string> e = opcao->conferir(*valor)) {
                erro = std::move(*e);
                return;
            }
        }
        valores_.insert_or_assign(std::string(opcao->nome), std::string(*valor));
    }
}

bool Opcoes::tem(std::string_view marca) const {
    return std::find(marcadas_.begin(), marcadas_.end(), marca) != marcadas_.end();
}

std::optional<std::string> Opcoes::valor(std::string_view nome) const {
    const auto it = valores_.find(nome);
    if (it == valores_.end()) return std::nullopt;
    return it->second;
}

bool tirarRepetida(std::vector<std::string_view>& args, std::string_view nome, std::vector<std::string>& valores) {
    std::vector<std::string_view> resto;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view a = args[i];
        if (a == nome) {
            if (i + 1 >= args.size() || args[i + 1].empty()) return false;
            valores.emplace_back(args[++i]);
        } else if (a.size() > nome.size() && a.starts_with(nome) && a[nome.size()] == '=') {
            a.remove_prefix(nome.size() + 1);
            if (a.empty()) return false;
            valores.emplace_back(a);
        } else {
            resto.push_back(a);
        }
    }
    args = std::move(resto);
    return true;
}

bool pedeAjuda(std::span<const std::string_view> args) {
    return std::any_of(args.begin(), args.end(),
                       [](std::string_view a) { return a == "--ajuda" || a == "-h"; });
}

std::optional<int> inteiro(std::string_view texto, int minimo, int maximo) {
    int n = 0;
    const auto [fim, e] = std::from_chars(texto.data(), texto.data() + texto.size(), n);
    if (e != std::errc() || fim != texto.data() + texto.size() || n < minimo || n > maximo)
        return std::nullopt;
    return n;
}

}  // namespace kivo::app
