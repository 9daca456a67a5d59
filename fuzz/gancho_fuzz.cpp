// The hook's whole decision for arbitrary standard-input bytes: the streaming reader,
// the context, the rules and the locked update of a temporary folder, as kivo_gancho
// runs them. Each input is applied twice (the second run finds the first run's
// record). Afterwards every record file must read back and no temporary file may be
// left. The streaming reader must also agree, byte for byte, with the tree reader:
// a JSON object gives what EventoGancho::deJson gives, anything else gives nothing.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "arquivos.hpp"
#include "entrada_gancho.hpp"
#include "json.hpp"
#include "kivo/armazem.hpp"
#include "kivo/contexto.hpp"
#include "kivo/evento_gancho.hpp"
#include "kivo/regras.hpp"
#include "kivo/sessao.hpp"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void falhar(const char* o_que) {
    std::fprintf(stderr, "kivo_fuzz_gancho: %s\n", o_que);
    std::abort();
}

// The temporary folder, removed when the fuzzer exits. Its name lives in a plain
// array: exit handlers run after static strings are gone.
char raiz[256];

const std::string& pasta() {
    static const std::string p = [] {
        const std::string modelo = (fs::temp_directory_path() / "kivo-fuzz-gancho-XXXXXX").string();
        if (modelo.size() >= sizeof raiz) falhar("temporary folder name too long");
        modelo.copy(raiz, modelo.size());
        if (!mkdtemp(raiz)) falhar("mkdtemp");
        std::atexit([] {
            std::error_code e;
            fs::remove_all(raiz, e);
        });
        return std::string(raiz) + "/sessoes";
    }();
    return p;
}

// The input as standard input would give it: a descriptor read to its end.
int descritor(const std::uint8_t* dados, std::size_t n) {
    static const int fd = memfd_create("entrada", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, 0) != 0) falhar("memfd");
    for (std::size_t feito = 0; feito < n;) {
        const ssize_t r = pwrite(fd, dados + feito, n - feito, static_cast<off_t>(feito));
        if (r <= 0) falhar("pwrite");
        feito += static_cast<std::size_t>(r);
    }
    if (lseek(fd, 0, SEEK_SET) != 0) falhar("lseek");
    return fd;
}

bool mesmosBytes(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    return a.has_value() == b.has_value() && (!a || *a == *b);
}

// Field by field, exactly (operator== compares texts canonically).
bool identicos(const kivo::EventoGancho& a, const kivo::EventoGancho& b) {
    return a.nome == b.nome && a.sessaoId == b.sessaoId && mesmosBytes(a.cwd, b.cwd) &&
           mesmosBytes(a.ferramenta, b.ferramenta) && mesmosBytes(a.ferramentaId, b.ferramentaId) &&
           mesmosBytes(a.tipoNotificacao, b.tipoNotificacao) && mesmosBytes(a.mensagem, b.mensagem) &&
           mesmosBytes(a.titulo, b.titulo) && mesmosBytes(a.ultimaMensagem, b.ultimaMensagem) &&
           mesmosBytes(a.origemSessao, b.origemSessao);
}

// Every "*.json" reads back; nothing else but ".trava" is there. Empties the folder
// of records so that each input starts alike.
void conferirELimpar() {
    std::error_code e;
    if (!fs::exists(pasta(), e)) return;
    for (const auto& entrada : fs::directory_iterator(pasta())) {
        const std::string nome = entrada.path().filename().string();
        if (nome == ".trava") continue;
        if (!nome.ends_with(".json")) falhar(("unexpected file left: " + nome).c_str());
        const auto bytes = kivo::arquivos::lerTudo(entrada.path().string());
        if (!bytes || !kivo::sessaoDeJson(*bytes)) falhar(("record does not read back: " + nome).c_str());
        fs::remove(entrada.path());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t n) {
    const std::string_view texto(reinterpret_cast<const char*>(dados), n);

    const auto evento = kivo::gancho::lerEvento(descritor(dados, n));
    std::optional<kivo::EventoGancho> esperado;
    if (const auto doc = kivo::json::documento(texto); doc && doc->is_object()) {
        esperado = kivo::EventoGancho::deJson(*doc);
    }
    if (evento.has_value() != esperado.has_value() || (evento && !identicos(*evento, *esperado))) {
        falhar("lerEvento disagrees with EventoGancho::deJson(json::documento(...))");
    }
    if (!evento) return 0;

    const kivo::Armazem armazem(pasta());
    for (int vez = 0; vez < 2; ++vez) {
        const kivo::Contexto contexto = kivo::Contexto::doAmbiente(
            {{"CLAUDE_PID", "4242"}, {"TERM_PROGRAM", "vscode"}}, 1765000000.25 + vez);
        armazem.atualizar(evento->sessaoId, [&](const std::optional<kivo::Sessao>& atual) {
            return kivo::aplicar(*evento, atual, contexto);
        });
    }
    conferirELimpar();
    return 0;
}
