"""Writes the benchmark payloads: realistic Claude Code hook objects of several sizes."""
import json
import sys

pasta = sys.argv[1]
base = {
    "session_id": "fd54bafe-d6c7-4ae4-af41-29fc9aa77228",
    "transcript_path": "/home/ana/.claude/projects/-home-ana-projetos-loja-virtual/"
                       "fd54bafe-d6c7-4ae4-af41-29fc9aa77228.jsonl",
    "cwd": "/home/ana/projetos/loja-virtual",
    "prompt_id": "b2993767-ee54-44ab-b864-fe13e34daac7",
    "permission_mode": "default",
    "effort": {"level": "high"},
}


def linhas_de_codigo(n_bytes):
    linha = "export function renovarToken(sessao: Sessao): Promise<void> { return api.post(\"/auth\", sessao); }\n"
    return (linha * (n_bytes // len(linha) + 1))[:n_bytes]


def escrever(nome, objeto):
    with open(f"{pasta}/{nome}.json", "w", encoding="utf-8") as f:
        json.dump(objeto, f, ensure_ascii=False, separators=(",", ":"))


pre = dict(base, hook_event_name="PreToolUse", tool_name="Edit", tool_use_id="toolu_b6198ca893cb4d148337",
           tool_input={"file_path": "/home/ana/projetos/loja-virtual/src/auth.ts",
                       "old_string": linhas_de_codigo(1200), "new_string": linhas_de_codigo(1300)})
escrever("pre_tool_use_3k", pre)

for nome, tamanho in (("post_tool_use_1m", 1 << 20), ("post_tool_use_5m", 5 << 20)):
    post = dict(base, hook_event_name="PostToolUse", tool_name="Read", tool_use_id="toolu_176ceb2160754348b9db",
                tool_input={"file_path": "/home/ana/projetos/loja-virtual/src/auth.ts"},
                tool_response={"type": "text", "file": {"filePath": "/home/ana/projetos/loja-virtual/src/auth.ts",
                                                        "content": linhas_de_codigo(tamanho), "numLines": 9000,
                                                        "startLine": 1, "totalLines": 9000}},
                duration_ms=18)
    escrever(nome, post)

resposta = ("## Corrigi a expiração do login\n\n"
            "O **token** de sessão em [auth.ts](src/auth.ts) expirava em 5 minutos; agora dura 8 horas.\n\n"
            "1. Ajustei `TOKEN_TTL` e a renovação automática.\n"
            "2. Os testes ainda falham porque o `npm` não está instalado.\n\n"
            "- Próximo passo: instalar as dependências e rodar `npm test`.\n")
stop = dict(base, hook_event_name="Stop", stop_hook_active=False, last_assistant_message=resposta,
            background_tasks=[], session_crons=[])
escrever("stop_markdown", stop)
