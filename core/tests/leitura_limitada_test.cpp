// The views' reading of the records: texts kept within a bound while they are decoded,
// files read in pieces, and otherwise the store's own reading.
#include "leitura_limitada.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <random>
#include <set>

#include "kivo/armazem.hpp"
#include "pastas.hpp"
#include "unicode.hpp"

namespace fs = std::filesystem;

namespace kivo {
namespace {

// A text of the bounded reading against the whole one: equal when the whole fits,
// else at most `limite` bytes of whole characters from its start (its end for `fim`).
void conferirTexto(const char* nome, const std::string& inteiro, const std::string& lido, std::size_t limite, bool fim) {
    SCOPED_TRACE(nome);
    if (inteiro.size() <= limite) {
        EXPECT_EQ(lido, inteiro);
        return;
    }
    EXPECT_LE(lido.size(), limite);
    EXPECT_GT(lido.size() + 4, limite) << "no more left out than one character";
    EXPECT_TRUE(texto::utf8Valido(lido));
    EXPECT_TRUE(fim ? inteiro.ends_with(lido) : inteiro.starts_with(lido)) << lido;
}

// What the bounded reading gives for `json`: sessaoDeJson's record with its texts cut,
// or nothing when sessaoDeJson gives nothing or the id is longer than the bound.
std::optional<Sessao> conferir(std::string_view json, std::size_t limite) {
    const auto inteira = sessaoDeJson(json);
    const auto lida = limitada::sessaoDeJson(json, limite);
    if (!inteira || inteira->id.size() > limite) {
        EXPECT_EQ(lida, std::nullopt);
        return lida;
    }
    EXPECT_TRUE(lida);
    if (!lida) return lida;
    Sessao resto = *lida;
    conferirTexto("id", inteira->id, lida->id, limite, false);
    conferirTexto("cwd", inteira->cwd, lida->cwd, limite, true);
    const std::pair<const char*, std::optional<std::string> Sessao::*> opcionais[] = {
        {"titulo", &Sessao::titulo}, {"detalhe", &Sessao::detalhe}, {"origem", &Sessao::origem},
        {"ferramentaId", &Sessao::ferramentaId}};
    for (const auto& [nome, campo] : opcionais) {
        EXPECT_EQ(((*lida).*campo).has_value(), ((*inteira).*campo).has_value()) << nome;
        if ((*lida).*campo && (*inteira).*campo)
            conferirTexto(nome, *((*inteira).*campo), *((*lida).*campo), limite, false);
        resto.*campo = (*inteira).*campo;
    }
    resto.cwd = inteira->cwd;
    EXPECT_EQ(resto, *inteira) << "the members that are not texts are read whole";
    return lida;
}

// A JSON string of `cps`, each character written as itself or, when `escapar` says so,
// as \u escapes (a surrogate pair beyond U+FFFF).
std::string jsonDe(const std::u32string& cps, const std::function<bool()>& escapar) {
    std::string s = "\"";
    char b[16];
    for (const char32_t c : cps) {
        if (c == '"' || c == '\\' || c < 0x20 || escapar()) {
            if (c > 0xFFFF) {
                const char32_t v = c - 0x10000;
                std::snprintf(b, sizeof b, "\\u%04x\\u%04x", 0xD800 + (v >> 10), 0xDC00 + (v & 0x3FF));
            } else {
                std::snprintf(b, sizeof b, "\\u%04X", static_cast<unsigned>(c));
            }
            s += b;
        } else {
            texto::anexarUtf8(s, c);
        }
    }
    return s + "\"";
}

TEST(LeituraLimitada, TextosCortadosEmCaracteresInteirosComEscapesNoCorte) {
    const unsigned semente = std::random_device{}();
    SCOPED_TRACE("semente " + std::to_string(semente));
    std::mt19937 g(semente);
    const char32_t letras[] = {U'a', U' ', U'/', U'"', U'\\', U'\n', U'\u00e9', U'\u0301', U'\u20ac', U'\U0001F600'};
    const auto texto = [&](std::size_t n) {
        std::u32string t;
        for (std::size_t i = 0; i < n; ++i) t += letras[g() % std::size(letras)];
        return jsonDe(t, [&] { return g() % 3 == 0; });
    };
    for (int vez = 0; vez < 2000; ++vez) {
        const std::size_t limite = 16 + g() % 12;
        const std::string json = "{\"id\":" + texto(g() % 5) + ",\"cwd\":" + texto(g() % 40) +
                                 ",\"titulo\":" + texto(g() % 40) + ",\"detalhe\":" + texto(g() % 40) +
                                 ",\"outro\":{\"titulo\":[" + texto(g() % 40) + "]},\"origem\":" + texto(g() % 40) +
                                 ",\"estado\":\"feito\",\"atualizado\":1.5,\"mudouEstadoEm\":2,\"pid\":7}";
        SCOPED_TRACE(json);
        ASSERT_TRUE(conferir(json, limite)) << "ids within the bound are read";
    }
}

TEST(LeituraLimitada, DecideComoALeituraInteira) {
    const std::string a(100, 'a');
    const std::string base = R"("estado":"feito","atualizado":1,"mudouEstadoEm":2)";
    const auto registro = [&](const std::string& membros) { return "{" + membros + "," + base + "}"; };
    struct Caso {
        const char* nome;
        std::string json;
        std::size_t limite = 16;
        bool aceito;
    };
    const Caso casos[] = {
        {.nome = "um registro pequeno", .json = registro(R"("id":"s","cwd":"/p","titulo":"t")"), .aceito = true},
        {.nome = "valores aninhados fora dos campos",
         .json = registro(R"("id":"s","cwd":"/p","x":{"titulo":")" + a + R"(","y":[")" + a + R"(",{"z":1}]})"),
         .aceito = true},
        {.nome = "um campo aninhado", .json = registro(R"("id":"s","cwd":"/p","titulo":{"t":")" + a + "\"}"),
         .aceito = false},
        {.nome = "um nome de membro longo",
         .json = registro(R"("id":"s","cwd":"/p",")" + a + R"(":")" + a + "\""), .aceito = true},
        {.nome = "o cwd guarda o fim", .json = registro(R"("id":"s","cwd":"/)" + a + R"(\/projeto")"),
         .limite = 32, .aceito = true},
        {.nome = "um id no limite", .json = registro(R"("id":")" + std::string(16, 'i') + R"(","cwd":"/p")"),
         .aceito = true},
        {.nome = "um id alem do limite", .json = registro(R"("id":")" + std::string(17, 'i') + R"(","cwd":"/p")"),
         .aceito = false},
        {.nome = "um estado alem do limite", .json = R"({"id":"s","cwd":"/p","estado":"feito)" + a +
                                                     R"(","atualizado":1,"mudouEstadoEm":2})",
         .aceito = false},
        {.nome = "um byte que nao e UTF-8 depois do corte",
         .json = registro(R"("id":"s","cwd":"/p","titulo":")" + a + "\xff\""), .aceito = false},
        {.nome = "um escape invalido depois do corte",
         .json = registro(R"("id":"s","cwd":"/p","detalhe":")" + a + R"(\x")"), .aceito = false},
        {.nome = "um surrogate sozinho depois do corte",
         .json = registro(R"("id":"s","cwd":")" + a + R"(\ud800")"), .aceito = false},
        {.nome = "um caractere de controle depois do corte",
         .json = registro(R"("id":"s","cwd":"/p","titulo":")" + a + "\n\""), .aceito = false},
        {.nome = "texto sem fim", .json = R"({"id":"s","cwd":"/p","titulo":")" + a, .aceito = false},
        {.nome = "lixo depois do objeto", .json = registro(R"("id":"s","cwd":"/p")") + "x", .aceito = false},
        {.nome = "so uma string enorme", .json = "\"" + std::string(1 << 20, 'x') + "\"", .aceito = false},
        {.nome = "uma lista de registros", .json = "[" + registro(R"("id":"s","cwd":"/p")") + "]", .aceito = false},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        EXPECT_EQ(conferir(c.json, c.limite).has_value(), c.aceito);
    }
    const auto projeto = limitada::sessaoDeJson(casos[4].json, casos[4].limite);
    EXPECT_EQ(projeto.value_or(Sessao{}).projeto(), "projeto");
}

// A number is never cut: a record with one longer than the bound (no record written
// by the hook has one) is left out.
TEST(LeituraLimitada, NumeroAlemDoLimiteNaoERegistro) {
    for (const char* membro : {R"("atualizado":1)", R"("pid":7.0)"}) {
        const std::string json = std::string(R"({"id":"s","cwd":"/p","estado":"feito","mudouEstadoEm":2,"atualizado":1,)") +
                                 membro + std::string(20, '0') + "}";
        EXPECT_TRUE(sessaoDeJson(json)) << json;
        EXPECT_EQ(limitada::sessaoDeJson(json, 16), std::nullopt) << json;
        EXPECT_TRUE(limitada::sessaoDeJson(json, 64)) << json;
    }
}

// From a file, pieces change nothing: texts and characters across their edges.
TEST(LeituraLimitada, ArquivoEmPedacos) {
    teste::PastaTemporaria t;
    const std::size_t p = limitada::kPedaco;
    const std::string longo(3 * p, 'x');
    std::vector<char> pedaco;
    for (const std::size_t desvio : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3}}) {
        // A 4-byte character at the edge of the first piece, less `desvio`.
        std::string json = R"({"atualizado":1,"titulo":")";
        json += std::string(p - desvio - json.size() - 1, 't') + "\U0001F600" + longo + "\U0001F600\",";
        json += R"("cwd":"/)" + longo + R"(/proj",)";
        json += R"("detalhe":")" + longo + R"(\u00e9","estado":"feito","id":"s","mudouEstadoEm":2})";
        SCOPED_TRACE(desvio);
        const fs::path arquivo = t.raiz() / "s.json";
        teste::escrever(arquivo, json);
        for (const std::size_t limite : {std::size_t{100}, p - 1, p + 1, 2 * p + 7}) {
            const int fd = ::open(arquivo.c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_GE(fd, 0);
            const auto lida = limitada::sessaoDe(fd, limite, pedaco);
            ::close(fd);
            EXPECT_EQ(lida, conferir(json, limite)) << limite;
        }
    }
}

TEST(LeituraLimitada, MesmosArquivosNaMesmaOrdemQueOArmazem) {
    teste::PastaTemporaria t;
    const Armazem a(t.raiz());
    for (const std::string arquivo : {"um.json", "dois.JSON", ".json", ".tres.json", "quatro.json", "cinco.json"})
        teste::escrever(a.pasta() / arquivo,
                        paraJson(Sessao{.id = arquivo.substr(0, arquivo.rfind('.')), .cwd = "/p/" + std::string(200, 'c'),
                                        .titulo = std::string(300, 't'), .estado = Estado::feito, .atualizado = 1,
                                        .mudouEstadoEm = 2}));
    teste::escrever(a.pasta() / "seis.json", "{\"id\":");
    fs::create_directory(a.pasta() / "sete.json");
    ASSERT_EQ(::mkfifo((a.pasta() / "oito.json").c_str(), 0600), 0);
    fs::create_symlink(a.pasta() / "um.json", a.pasta() / "nove.json");
    const std::vector<Sessao> todas = a.lerTodas();
    std::set<std::string> ids;
    for (const Sessao& s : todas) ids.insert(s.id);
    ASSERT_EQ(ids, (std::set<std::string>{"um", ".tres", "quatro", "cinco"}));
    EXPECT_EQ(limitada::lerTodas(a.pasta(), 1000), todas);
    const auto cortadas = limitada::lerTodas(a.pasta(), 100);
    ASSERT_EQ(cortadas.size(), todas.size());
    for (std::size_t i = 0; i < todas.size(); ++i) {
        EXPECT_EQ(cortadas[i].id, todas[i].id);
        EXPECT_EQ(cortadas[i].titulo, std::string(100, 't'));
        EXPECT_EQ(cortadas[i].cwd, std::string(100, 'c'));
    }
}

}  // namespace
}  // namespace kivo
