// Splitting a server-sent event stream into JSON objects and the unfinished rest.
#include "kivo/eventos.hpp"

#include <gtest/gtest.h>

namespace kivo {
namespace {
using nlohmann::json;

// Blocks end at two line feeds that are characters of their own (not the LF of CR LF);
// only "data: " lines count, joined by line feeds; a block that is not one JSON object
// is dropped. Every row gives the same when the text arrives split at any byte.
TEST(SepararEventos, BlocosEResto) {
    const json a1 = {{"a", 1}}, ok = {{"ok", 1}}, vazio = json::object();
    const std::tuple<const char*, std::string, std::vector<json>, std::string> casos[] = {
        {"sem separador", "data: {\"a\":1}\ndata: {}\n", {}, "data: {\"a\":1}\ndata: {}\n"},
        {"dois e o inicio do proximo", "data: {\"ok\":1}\n\ndata: {\"a\":1}\n\ndata: {\"b", {ok, a1}, "data: {\"b"},
        {"outros campos antes", "event: mensagem\n: ping\nid: 7\ndata: {\"a\":1}\n\n", {a1}, ""},
        {"objeto em duas linhas com outra no meio", "data: {\"a\":\nevent: x\ndata: 1}\n\n", {a1}, ""},
        {"data: sem espaco, maiusculo, com tab ou acento",
         "data:{\"a\":1}\n\nData: {}\n\n data: {}\n\ndata:\t{}\n\ndata: \u0301{}\n\n", {}, ""},
        {"dados vazios e objeto", "data: \n\nevent: fim\n\ndata: \ndata: {}\n\n", {vazio}, ""},
        {"blocos que nao sao objetos",
         "data: [1]\n\ndata: {oi}\n\ndata: {} {}\n\ndata: {\"a\":\"\xff\"}\n\ndata: {\"ok\":1}\n\n", {ok}, ""},
        {"CR LF CR LF nunca fecha", "data: {}\r\n\r\ndata: {}\r\n\n", {}, "data: {}\r\n\r\ndata: {}\r\n\n"},
        {"CR LF LF LF fecha depois do par", "data: {}\r\n\n\n", {vazio}, ""},
        {"LF LF CR LF", "data: {}\n\n\r\n", {vazio}, "\r\n"},
        {"CR LF dentro do bloco nao separa linhas", "data: {\"a\":\r\ndata: 1}\n\n", {}, ""},
        {"LF separa linhas mesmo depois de CR LF", "data: {\"a\"\r\n\ndata: :1}\n\n\n", {a1}, "\n"},
        // Found by fuzzing: a byte that is not UTF-8 right after the two line feeds kept them from ending the block.
        {"byte invalido depois do separador", "data: {}\n\n\xb4", {vazio}, "\xb4"},
        {"continuacoes soltas", "data: {\"a\":1}\n\n\x80\x80" "data: {}\n\n\xbf\n\ndata: {\"ok\":1}\n\n\xa9",
         {a1, ok}, "\xa9"}};
    for (const auto& [rotulo, texto, eventos, resto] : casos) {
        SCOPED_TRACE(rotulo);
        for (std::size_t corte = 0; corte <= texto.size(); ++corte) {  // the last cut: all at once
            EventosSeparados p = separarEventos(texto.substr(0, corte));
            const EventosSeparados q = separarEventos(p.resto + texto.substr(corte));
            p.eventos.insert(p.eventos.end(), q.eventos.begin(), q.eventos.end());
            ASSERT_EQ(p.eventos, eventos) << "cut at " << corte;
            ASSERT_EQ(q.resto, resto) << "cut at " << corte;
        }
    }
}
}  // namespace
}  // namespace kivo
