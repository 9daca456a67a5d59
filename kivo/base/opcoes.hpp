// The options of one subcommand, read the same way by kivo and kivo_web: flags,
// "--name value" and "--name=value", "--ajuda" / "-h" anywhere. Pure; thread-safe.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kivo::app {

struct Opcao {
    std::string_view nome;  // "--largura"
    bool comValor = false;
    // The error when the value is missing; empty: "<nome> precisa de um valor".
    std::string_view semValor = {};
    // Checks a value as soon as it is read: the error, or nullopt when it is good.
    std::function<std::optional<std::string>(std::string_view)> conferir = {};
};

class Opcoes {
public:
    // Reads `args` of `comando` against `conhecidas`, stopping at the first argument it
    // cannot take. Later values of an option replace earlier ones.
    Opcoes(std::string_view comando, std::span<const std::string_view> args,
           std::span<const Opcao> conhecidas);

    bool ok() const { return erro.empty(); }
    bool tem(std::string_view marca) const;
    std::optional<std::string> valor(std::string_view nome) const;

    bool ajudaPedida = false;
    // Why reading stopped ("opção desconhecida para painel: --x"); empty when it did not.
    std::string erro;

private:
    std::vector<std::string> marcadas_;
    std::map<std::string, std::string, std::less<>> valores_;
};

// Takes every "<nome> VALUE" and "<nome>=VALUE" out of `args` (an option that may
// be given more than once), into `valores`, in order; false when one has no value.
bool tirarRepetida(std::vector<std::string_view>& args, std::string_view nome, std::vector<std::string>& valores);

// Whether any of `args` asks for help ("--ajuda" or "-h").
bool pedeAjuda(std::span<const std::string_view> args);

// `texto` as a whole number from `minimo` to `maximo`; nullopt otherwise.
std::optional<int> inteiro(std::string_view texto, int minimo, int maximo);

}  // namespace kivo::app
