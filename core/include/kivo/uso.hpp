// Seconds spent in each application per day, over the 14 most recent days, and the
// per-day summary in minutes. Plain value without locks.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace kivo {

struct Uso {
    // day key ("yyyy-MM-dd") -> application name -> seconds.
    std::map<std::string, std::map<std::string, std::int64_t>> dias;
    bool operator==(const Uso& outro) const;

    // The local calendar day of an instant, "yyyy-MM-dd" (TZ read on each call).
    static std::string dia(double instante);

    // Adds `segundos` to the application's total on the day of `em`, then keeps only
    // the 14 newest days. An absent or blank name does nothing.
    void somar(const std::optional<std::string>& app, std::int64_t segundos, double em);

    // The last `n` days, oldest first, each {"dia", "apps":[{"pacote","nome","minutos"}]}
    // with applications of 60 seconds or more, sorted by name. Throws
    // std::invalid_argument when n is negative.
    std::vector<nlohmann::json> paraEnviar(int n) const;
};

// {"dias":{...}}. Throws std::domain_error when a day or a name is not valid UTF-8.
std::string paraJson(const Uso& uso);
// Throws when the text is not strict JSON or "dias" is missing or malformed.
Uso usoDeJson(std::string_view texto);

}  // namespace kivo
