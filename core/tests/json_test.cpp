// The strict JSON reader: what RFC 8259 allows and nothing else, text split across
// reads, and numbers read as exact integers. Deep nesting is the hook's test.
#include "json.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <limits>

#include "entrada_gancho.hpp"
#include "pastas.hpp"

namespace kivo::json {
namespace {
TEST(JsonEstrito, RejeitaTudoQueNaoERfc8259) {
    const std::string invalidos[] = {
        "", "\xEF\xBB\xBF{}", "{} x", "{}{}", "[1,]", "{\"a\":1,}", "// c\n{}", "[NaN]", "[-]", "[01]", "[1.]",
        "[.5]", "[1e]", "[+1]", "[\"\x01\"]", "[\"\\x\"]", "[\"\\ud800\"]", "[\"\\udc00\"]", "[\"\\ud800\\u0041\"]",
        "[\"\xC0\xAF\"]", "[\"\xED\xA0\x80\"]", "[\"\xF4\x90\x80\x80\"]", "[\"abc", "{\"a\" 1}", "{1:2}", "[tru]",
        std::string("{}\0", 3)};
    for (const auto& t : invalidos) EXPECT_FALSE(documento(t).has_value()) << t;
}

TEST(JsonEstrito, AceitaOValido) {
    const auto d = documento(" \t\r\n{\"a\":[1],\"b\":[true,false,null],\"a\":{}} \n");
    EXPECT_EQ(d, (nlohmann::json{{"a", nlohmann::json::object()}, {"b", {true, false, nullptr}}}));  // the last wins
    const auto e = documento("[1,-0,2.5e3,\"\\u00e9\\ud83d\\ude00\\/\\n\", 1e400, -1e400, 18446744073709551615, -12]");
    EXPECT_EQ(e, (nlohmann::json{1, 0, 2500.0, "\u00e9\U0001F600/\n", std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity(), 18446744073709551615ull, -12}));
}

// The hook's input is read 64 KiB at a time: escapes and UTF-8 split between two reads
// give what the whole text gives, in a member that is kept and in one that is skipped.
TEST(JsonEstrito, TextoPartidoEntreLeituras) {
    const std::string meio = R"(\u00e9\"\ud83d\ude00\\)" "\u00e9\U0001F600";
    const teste::PastaTemporaria pasta;
    const auto arquivo = pasta.raiz() / "entrada";
    for (const std::string membro : {"last_assistant_message", "outro"}) {
        const std::string cabeca = R"({"hook_event_name":"Stop","session_id":"s",")" + membro + "\":\"";
        for (std::size_t n = 65536 - cabeca.size() - meio.size(); n <= 65536 - cabeca.size(); ++n) {
            const std::string texto = cabeca + std::string(n, 'a') + meio + "\"}";
            teste::escrever(arquivo, texto);
            const int fd = open(arquivo.c_str(), O_RDONLY | O_CLOEXEC);
            EXPECT_EQ(gancho::lerEvento(fd), EventoGancho::deJson(documento(texto).value_or(nullptr))) << membro << n;
            close(fd);
        }
    }
}

// Ordinary lexemes are the record and usage readers' rows; here the limits.
TEST(Numeros, InteiroPeloValorExato) {
    constexpr auto mn = std::numeric_limits<std::int64_t>::min(), mx = std::numeric_limits<std::int64_t>::max();
    const std::pair<const char*, std::optional<std::int64_t>> casos[] = {
        {"1E+2", 100}, {"0.0e-5", 0}, {"120e-1", 12}, {"9223372036854775807", mx}, {"-9223372036854775808", mn},
        {"9223372036854775808", {}}, {"-9223372036854775809", {}}, {"92233720368547758070e-1", mx}, {"1e19", {}},
        {"1e999999999999999999", {}}, {"1e-999999999999999999", {}}};
    for (const auto& [lexema, esperado] : casos) EXPECT_EQ(inteiroExato(lexema, mn, mx), esperado) << lexema;
    EXPECT_EQ(inteiroExato("-0", 1, 5), std::nullopt);
    EXPECT_EQ(inteiroExato("0", 0, 5), 0);
    EXPECT_EQ(paraDouble("4.9406564584124654e-324"), std::numeric_limits<double>::denorm_min());
}
}  // namespace
}  // namespace kivo::json
