#include "kivo/eventos.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kivo {
namespace {

using nlohmann::json;

struct Caso {
    const char* rotulo;
    std::string texto;
    std::vector<json> eventos;
    std::string resto;
};

void conferir(const Caso& c) {
    SCOPED_TRACE(c.rotulo);
    const EventosSeparados r = separarEventos(c.texto);
    EXPECT_EQ(r.eventos, c.eventos);
    EXPECT_EQ(r.resto, c.resto);
    for (const auto& e : r.eventos) EXPECT_TRUE(e.is_object());
}

TEST(SepararEventos, BlocosEResto) {
    const Caso casos[] = {
        {"vazio", "", {}, ""},
        {"sem separador", "data: {\"a\":1}\n", {}, "data: {\"a\":1}\n"},
        {"sem separador, varias linhas", "data: {\"a\":1}\ndata: {}\n", {}, "data: {\"a\":1}\ndata: {}\n"},
        {"um evento", "data: {\"a\":1}\n\n", {json{{"a", 1}}}, ""},
        {"evento e inicio do proximo", "data: {\"a\":1}\n\ndata: {\"b", {json{{"a", 1}}}, "data: {\"b"},
        {"dois eventos em ordem", "data: {\"n\":1}\n\ndata: {\"n\":2}\n\nx",
         {json{{"n", 1}}, json{{"n", 2}}}, "x"},
        {"objeto vazio", "data: {}\n\n", {json::object()}, ""},
        {"objeto aninhado", "data: {\"a\":[1,{\"b\":null}],\"c\":\"\\u00e9\"}\n\n",
         {json{{"a", json::array({1, json{{"b", nullptr}}})}, {"c", "\u00e9"}}}, ""},
        {"resto com linha de dados completa", "data: {}\n\ndata: {\"x\":1}\n", {json::object()},
         "data: {\"x\":1}\n"},
    };
    for (const auto& c : casos) conferir(c);
}

TEST(SepararEventos, SoLinhasDeDadosContam) {
    const Caso casos[] = {
        {"campo event antes", "event: mensagem\ndata: {\"a\":1}\n\n", {json{{"a", 1}}}, ""},
        {"id, retry e comentario", ": ping\nid: 7\nretry: 10\ndata: {\"a\":1}\n\n", {json{{"a", 1}}}, ""},
        {"data: sem espaco", "data:{\"a\":1}\n\n", {}, ""},
        {"Data maiusculo", "Data: {\"a\":1}\n\n", {}, ""},
        {"espaco antes de data", " data: {\"a\":1}\n\n", {}, ""},
        {"tab no lugar do espaco", "data:\t{\"a\":1}\n\n", {}, ""},
        {"espaco com acento combinado", "data: \u0301{\"a\":1}\n\n", {}, ""},
        {"objeto em duas linhas", "data: {\"a\":\ndata: 1}\n\n", {json{{"a", 1}}}, ""},
        {"linha no meio ignorada", "data: {\"a\":\nevent: x\ndata: 1}\n\n", {json{{"a", 1}}}, ""},
        // The payloads are joined by a line feed, so a text split over two lines holds one.
        {"quebra dentro de texto", "data: {\"a\":\"x\ndata: y\"}\n\n", {}, ""},
        {"data vazio", "data: \n\n", {}, ""},
        {"so outros campos", "event: fim\n\n", {}, ""},
        {"dados vazios e objeto", "data: \ndata: {}\n\n", {json::object()}, ""},
    };
    for (const auto& c : casos) conferir(c);
}

TEST(SepararEventos, BlocosRuinsSaoDescartadosEOsSeguintesLidos) {
    const Caso casos[] = {
        {"lista", "data: [1]\n\ndata: {\"ok\":1}\n\n", {json{{"ok", 1}}}, ""},
        {"numero", "data: 42\n\ndata: {\"ok\":1}\n\n", {json{{"ok", 1}}}, ""},
        {"texto", "data: \"x\"\n\ndata: {\"ok\":1}\n\n", {json{{"ok", 1}}}, ""},
        {"literal", "data: null\n\ndata: {\"ok\":1}\n\n", {json{{"ok", 1}}}, ""},
        {"nao e json", "data: {oi}\n\ndata: {\"ok\":1}\n\n", {json{{"ok", 1}}}, ""},
        {"json com lixo depois", "data: {} {}\n\ndata: {\"ok\":1}\n\n", {json{{"ok", 1}}}, ""},
        {"virgula sobrando", "data: {\"a\":1,}\n\n", {}, ""},
        {"utf8 invalido", "data: {\"a\":\"\xff\"}\n\ndata: {\"ok\":1}\n\n", {json{{"ok", 1}}}, ""},
        {"NaN", "data: {\"a\":NaN}\n\n", {}, ""},
    };
    for (const auto& c : casos) conferir(c);
}

TEST(SepararEventos, QuebrasDeLinhaSeguidas) {
    const Caso casos[] = {
        {"tres LF", "\n\n\n", {}, "\n"},
        {"quatro LF", "\n\n\n\n", {}, ""},
        {"cinco LF", "\n\n\n\n\n", {}, "\n"},
        {"objeto e tres LF", "data: {}\n\n\n", {json::object()}, "\n"},
        // CR LF is one character, not a line feed.
        {"CR LF CR LF nunca fecha", "data: {}\r\n\r\n", {}, "data: {}\r\n\r\n"},
        {"CR LF CR LF duas vezes", "data: {}\r\n\r\ndata: {}\r\n\r\n", {},
         "data: {}\r\n\r\ndata: {}\r\n\r\n"},
        {"CR LF LF nao fecha", "data: {}\r\n\n", {}, "data: {}\r\n\n"},
        {"CR LF LF LF fecha depois do par", "data: {}\r\n\n\n", {json::object()}, ""},
        {"LF LF CR LF", "data: {}\n\n\r\n", {json::object()}, "\r\n"},
        {"CR sozinho nao quebra", "data: {}\rdata: {\"a\":1}\n\n", {}, ""},
        {"CR LF dentro do bloco nao separa linhas", "data: {\"a\":\r\ndata: 1}\n\n", {}, ""},
        {"linha de dados com CR LF final", "event: x\r\ndata: {\"a\":1}\n\n", {}, ""},
        {"LF separa linhas mesmo depois de CR LF", "data: {\"a\"\r\n\ndata: :1}\n\n\n",
         {json{{"a", 1}}}, "\n"},
    };
    for (const auto& c : casos) conferir(c);
}

TEST(SepararEventos, EmPedacosComoOChamador) {
    const std::string fluxo =
        "event: a\ndata: {\"n\":1}\n\n"
        "data: {\"n\":\ndata: 2}\n\n"
        ": comentario\n\n"
        "data: {\"n\":3,\"t\":\"\u00e7\u00e3o \U0001F600\"}\n\n"
        "data: [4]\n\n"
        "data: {\"n\":5}\n\n"
        "data: {\"n\":6}";
    const std::vector<json> esperados = {json{{"n", 1}}, json{{"n", 2}},
                                         json{{"n", 3}, {"t", "\u00e7\u00e3o \U0001F600"}},
                                         json{{"n", 5}}};
    for (std::size_t tamanho : {1u, 2u, 3u, 7u, 64u}) {
        SCOPED_TRACE(tamanho);
        std::vector<json> obtidos;
        std::string resto;
        for (std::size_t i = 0; i < fluxo.size(); i += tamanho) {
            resto.append(fluxo, i, tamanho);
            EventosSeparados r = separarEventos(resto);
            for (auto& e : r.eventos) obtidos.push_back(std::move(e));
            resto = std::move(r.resto);
        }
        EXPECT_EQ(obtidos, esperados);
        EXPECT_EQ(resto, "data: {\"n\":6}");
    }
}

// Found by fuzzing: a byte that is not UTF-8 right after the two line feeds kept them
// from ending the block. Such a byte reads as U+FFFD, a character of its own, and
// nothing joins a line feed to what follows it.
TEST(SepararEventos, ByteInvalidoDepoisDoSeparador) {
    struct Linha {
        std::string texto;
        std::vector<json> eventos;
        std::string resto;
    } casos[] = {
        {"data: {}\n\n\xb4", {json::object()}, "\xb4"},
        {"data: {\"a\":1}\n\n\x80\x80" "data: {}\n\n", {json{{"a", 1}}}, ""},
        {"data: {}\n\n\xbf\n\ndata: {\"b\":2}\n\n\xa9", {json::object(), json{{"b", 2}}}, "\xa9"},
        {"data: {}\n\n\xc3\xa9", {json::object()}, "\xc3\xa9"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.texto);
        const EventosSeparados r = separarEventos(c.texto);
        EXPECT_EQ(r.eventos, c.eventos);
        EXPECT_EQ(r.resto, c.resto);
        // The same when the text arrives in two pieces, split at any byte.
        for (std::size_t corte = 0; corte <= c.texto.size(); ++corte) {
            SCOPED_TRACE(corte);
            EventosSeparados a = separarEventos(c.texto.substr(0, corte));
            const EventosSeparados b = separarEventos(a.resto + c.texto.substr(corte));
            a.eventos.insert(a.eventos.end(), b.eventos.begin(), b.eventos.end());
            EXPECT_EQ(a.eventos, c.eventos);
            EXPECT_EQ(b.resto, c.resto);
        }
    }
}

}  // namespace
}  // namespace kivo
