// KivoCore: records of Claude Code agent sessions, the store they live in, the rules
// that the hook applies to them, and everything a companion app needs to show them.
#pragma once

#include "kivo/acao.hpp"
#include "kivo/armazem.hpp"
#include "kivo/caminhos.hpp"
#include "kivo/contexto.hpp"
#include "kivo/estado.hpp"
#include "kivo/evento_gancho.hpp"
#include "kivo/eventos.hpp"
#include "kivo/humor.hpp"
#include "kivo/novidade.hpp"
#include "kivo/regras.hpp"
#include "kivo/resumo.hpp"
#include "kivo/rotulos.hpp"
#include "kivo/sessao.hpp"
#include "kivo/teclas.hpp"
#include "kivo/tempos.hpp"
#include "kivo/uso.hpp"
