#include "base/erros.hpp"

#include <cerrno>

namespace kivo::app {

std::string erroDoSistema(int numero) {
    switch (numero) {
        case ENOENT: return "n\u00E3o existe";
        case ENOTDIR: return "uma parte do caminho n\u00E3o \u00E9 uma pasta";
        case EACCES:
        case EPERM: return "sem permiss\u00E3o";
        case EROFS: return "o sistema de arquivos \u00E9 s\u00F3 de leitura";
        case ENOSPC: return "n\u00E3o h\u00E1 espa\u00E7o no disco";
        case EDQUOT: return "a cota de disco acabou";
        case ELOOP: return "links simb\u00F3licos em ciclo (ou links demais em sequ\u00EAncia)";
        case EISDIR: return "\u00E9 uma pasta";
        case EEXIST: return "j\u00E1 existe";
        case ENAMETOOLONG: return "nome longo demais";
        case ENOTEMPTY: return "a pasta n\u00E3o est\u00E1 vazia";
        case EBUSY: return "em uso";
        case ETXTBSY: return "o arquivo est\u00E1 sendo executado";
        case EIO: return "erro de leitura ou escrita no disco";
        case ENOEXEC: return "n\u00E3o \u00E9 um programa que esta m\u00E1quina saiba rodar";
        case EMFILE:
        case ENFILE: return "arquivos abertos demais";
        case ENOMEM: return "mem\u00F3ria insuficiente";
        case EADDRINUSE: return "a porta j\u00E1 est\u00E1 em uso";
        case EADDRNOTAVAIL: return "endere\u00E7o indispon\u00EDvel nesta m\u00E1quina";
        case EXDEV: return "o destino fica em outro sistema de arquivos";
        case EINVAL: return "argumento inv\u00E1lido";
        default: return "erro do sistema n\u00BA " + std::to_string(numero);
    }
}

}  // namespace kivo::app
