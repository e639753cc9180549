// Analysing a text with a lexer file and reading the tokens and blocks.
#include <iostream>
#include <memory>

#include "framework/Units.h"
#include "setup/Setup.h"
#include "syntax/qvClientAnalyzer.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvSyntStyles.h"

int main(int argc, char** argv) {
  qv::InitializeUnits(qv::SetupUnits());  // once, before anything else
  {
    qv::TComponent owner(nullptr);                  // owns the lexers
    auto* lexer = new qv::TSyntAnalyzer(&owner);
    lexer->LoadFromFile(argc > 1 ? argv[1] : "lexers/c.lxr");

    qv::TSyntMemoStrings text;                      // the line store the text lives in
    text.SetTextStr(u"int main(void) {\n  return 0; /* done */\n}\n");
    std::unique_ptr<qv::TClientSyntAnalyzer> client(
        lexer->AddClient(nullptr, [&text] { return &text; }));
    client->Analyze(true);                          // the whole text, now

    for (int i = 0; i < client->TokenCount(); ++i) {
      const qv::TSyntToken* token = client->Tags(i);
      const qv::TSyntaxFormat* style = token->Rule ? token->Rule->Style() : nullptr;
      std::cout << token->StartPos << "-" << token->EndPos << " "
                << lexer->TokenTypeNames()->Get(token->TokenType) << " "
                << (style ? style->DisplayName() : "-") << " "
                << qv::WideToUtf8(client->TagStr(i)) << "\n";
    }
    for (int i = 0; i < client->RangeCount(); ++i) {
      const qv::TTextRange* range = client->Ranges(i);
      std::cout << "block from token " << range->StartIdx << " to " << range->EndIdx << "\n";
    }
  }  // the client goes first, then the lexers with their owner
  qv::FinalizeUnits();
}
