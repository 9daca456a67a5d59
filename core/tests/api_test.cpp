// The public interface, spelled exactly as outside code compiles against it: every
// function's signature is checked at compile time, and the value types are aggregates
// (they accept designated initializers in declaration order).
#include <kivo/kivo.hpp>

#include <type_traits>

namespace kivo {
namespace {

static_assert(std::is_same_v<decltype(&prioridade), int (*)(Estado)>);
static_assert(std::is_same_v<decltype(static_cast<std::string_view (*)(Estado)>(&nomeDe)), std::string_view (*)(Estado)>);
static_assert(std::is_same_v<decltype(&estadoDe), std::optional<Estado> (*)(std::string_view)>);
static_assert(std::is_same_v<decltype(&humorDe), std::optional<Humor> (*)(std::string_view)>);
static_assert(std::is_same_v<decltype(static_cast<std::string (*)(const Sessao&)>(&paraJson)), std::string (*)(const Sessao&)>);
static_assert(std::is_same_v<decltype(static_cast<std::string (*)(const Uso&)>(&paraJson)), std::string (*)(const Uso&)>);
static_assert(std::is_same_v<decltype(&sessaoDeJson), std::optional<Sessao> (*)(std::string_view)>);
static_assert(std::is_same_v<decltype(&EventoGancho::deJson), std::optional<EventoGancho> (*)(const nlohmann::json&)>);
static_assert(std::is_same_v<decltype(&Contexto::doAmbiente),
                             Contexto (*)(const std::map<std::string, std::string>&, double)>);
static_assert(std::is_same_v<decltype(&aplicar),
                             Acao (*)(const EventoGancho&, const std::optional<Sessao>&, const Contexto&)>);
static_assert(std::is_same_v<decltype(&Caminhos::base), std::filesystem::path (*)()>);
static_assert(std::is_same_v<decltype(&Caminhos::sessoes), std::filesystem::path (*)()>);
static_assert(std::is_same_v<decltype(&Armazem::nomeSeguro), std::string (*)(std::string_view)>);
static_assert(std::is_same_v<decltype(&Armazem::ler), std::optional<Sessao> (Armazem::*)(std::string_view) const>);
static_assert(std::is_same_v<decltype(&Armazem::lerTodas), std::vector<Sessao> (Armazem::*)() const>);
static_assert(std::is_same_v<decltype(&Armazem::gravar), void (Armazem::*)(const Sessao&) const>);
static_assert(std::is_same_v<decltype(&Armazem::apagar), void (Armazem::*)(std::string_view) const>);
static_assert(std::is_same_v<decltype(&Armazem::atualizar),
                             void (Armazem::*)(std::string_view,
                                               const std::function<Acao(const std::optional<Sessao>&)>&) const>);
static_assert(std::is_same_v<decltype(&estadoEfetivo), Estado (*)(const Sessao&, double)>);
static_assert(std::is_same_v<decltype(&resumir), Resumo (*)(const std::vector<Sessao>&, double)>);
static_assert(std::is_same_v<decltype(&Resumo::vazio), const Resumo& (*)()>);
static_assert(std::is_same_v<decltype(&novidades), std::vector<Novidade> (*)(const std::map<std::string, Sessao>&,
                                                                              const std::vector<Sessao>&)>);
static_assert(std::is_same_v<decltype(&Rotulos::trabalho), std::string (*)(const std::optional<std::string>&)>);
static_assert(std::is_same_v<decltype(&Rotulos::pedido), std::string (*)(const std::optional<std::string>&)>);
static_assert(std::is_same_v<decltype(&Rotulos::notificacao), std::string (*)(const std::optional<std::string>&)>);
static_assert(std::is_same_v<decltype(&Rotulos::resumo),
                             std::optional<std::string> (*)(const std::optional<std::string>&)>);
static_assert(std::is_same_v<decltype(&Rotulos::doEstado), std::string (*)(const Sessao&)>);
static_assert(std::is_same_v<decltype(&Rotulos::tempo), std::string (*)(double)>);
static_assert(std::is_same_v<decltype(&Teclas::virtuais), const std::unordered_map<std::string, std::uint16_t>& (*)()>);
static_assert(std::is_same_v<decltype(&Teclas::marcas), const std::unordered_map<std::string, std::uint64_t>& (*)()>);
static_assert(std::is_same_v<decltype(&Teclas::modificadores), const std::unordered_map<std::string, std::string>& (*)()>);
static_assert(std::is_same_v<decltype(&Teclas::codigo), std::optional<std::string> (*)(std::string_view)>);
static_assert(std::is_same_v<decltype(&Teclas::protegido), bool (*)(std::string_view)>);
static_assert(std::is_same_v<decltype(&Uso::dia), std::string (*)(double)>);
static_assert(std::is_same_v<decltype(&Uso::somar),
                             void (Uso::*)(const std::optional<std::string>&, std::int64_t, double)>);
static_assert(std::is_same_v<decltype(&Uso::paraEnviar), std::vector<nlohmann::json> (Uso::*)(int) const>);
static_assert(std::is_same_v<decltype(&usoDeJson), Uso (*)(std::string_view)>);
static_assert(std::is_same_v<decltype(&separarEventos), EventosSeparados (*)(std::string_view)>);
static_assert(std::is_same_v<decltype(allCases<Estado>), const std::array<Estado, 5>>);
static_assert(std::is_same_v<decltype(allCases<Humor>), const std::array<Humor, 7>>);
static_assert(std::is_aggregate_v<Sessao> && std::is_aggregate_v<EventoGancho> &&
              std::is_aggregate_v<Contexto> && std::is_aggregate_v<Resumo> && std::is_aggregate_v<Uso>);
static_assert(Tempos::trabalhoEsquecido == 1200 && Tempos::atencaoEsquecida == 1800 &&
              Tempos::feitoVisivel == 600 && Tempos::comemoracao == 4 && Tempos::sono == 1800 &&
              Tempos::sessaoVelha == 43200);

}  // namespace
}  // namespace kivo
