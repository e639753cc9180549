// The text dump of a client's results.
#include "syntax/qvResultsDump.h"

#include <cstdio>

#include "framework/SysUtils.h"
#include "syntax/qvBlockRules.h"
#include "syntax/qvClientAnalyzer.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSubLexers.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvSyntStyles.h"

namespace qv {

namespace {

std::string NameOf(const TSyntCollectionItem* item) {
  return item ? "'" + item->DisplayName() + "'" : std::string("-");
}

std::string Quoted(const std::u16string& text) {
  std::string out = "\"";
  for (char16_t c : text) {
    switch (c) {
      case u'"': out += "\\\""; break;
      case u'\\': out += "\\\\"; break;
      case u'\n': out += "\\n"; break;
      case u'\r': out += "\\r"; break;
      case u'\t': out += "\\t"; break;
      default:
        if (c < 32) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
          out += buf;
        } else {
          out += WideToUtf8(std::u16string(1, c));
        }
    }
  }
  return out + "\"";
}

std::string Index(int i) { return i < 0 ? std::string("-") : std::to_string(i); }

std::string TypeName(const TRuleCollectionItem* rule, const TSyntAnalyzer* owner, int type) {
  const TSyntAnalyzer* analyzer = rule && rule->SyntOwner() ? rule->SyntOwner() : owner;
  if (!analyzer || type < 0 || type >= analyzer->TokenTypeNames()->Count()) return "?";
  return analyzer->TokenTypeNames()->Get(type);
}

template <class F>
void DumpCollection(std::string& out, const char* name, const TRangeCollection& c, F describe) {
  int count = 0;
  for (int l = 0; l < c.LayerCount(); ++l) count += c.Layers(l)->Count();
  out += std::string(name) + " " + std::to_string(count) + "\n";
  for (int l = 0; l < c.LayerCount(); ++l)
    for (int i = 0; i < c.Layers(l)->Count(); ++i) {
      const TRange* r = c.Layers(l)->Items(i);
      out += "  " + std::to_string(r->StartPos) + "-" + std::to_string(r->EndPos) + describe(r) + "\n";
    }
}

}  // namespace

std::string DumpResults(const TClientSyntAnalyzer& client) {
  std::string out;
  const TSyntAnalyzer* owner = client.Owner();
  out += "tokens " + std::to_string(client.TokenCount()) + "\n";
  for (int i = 0; i < client.TokenCount(); ++i) {
    const TSyntToken* t = client.Tags(i);
    const auto* rule = t->Rule;
    out += "  " + std::to_string(i) + " " + std::to_string(t->StartPos) + "-" +
           std::to_string(t->EndPos) + " " + TypeName(rule, owner, t->TokenType) + "(" +
           std::to_string(t->TokenType) + ") " + NameOf(rule) + " [" +
           (rule && rule->Style() ? rule->Style()->DisplayName() : std::string("-")) + "] " +
           Quoted(client.TagStr(i)) + "\n";
  }
  out += "ranges " + std::to_string(client.RangeCount()) + "\n";
  for (int i = 0; i < client.RangeCount(); ++i) {
    const TTextRange* r = client.Ranges(i);
    out += "  " + std::to_string(r->Index) + " " + NameOf(r->Rule) + " tokens " +
           std::to_string(r->StartIdx) + "-" + (r->EndIdx < 0 ? "open" : std::to_string(r->EndIdx)) +
           " cond " + std::to_string(r->CondIdx) + "/" + Index(r->EndCondIdx) + " ident " +
           std::to_string(r->IdentIdx) + " parent " + (r->Parent ? std::to_string(r->Parent->Index) : "-") +
           "\n";
  }
  const auto& subs = client.SubLexerBlocks();
  out += "sublexers " + std::to_string(subs.size()) + "\n";
  for (const auto& s : subs) {
    const TSyntAnalyzer* inner = s->Rule ? s->Rule->SyntAnalyzer() : nullptr;
    out += "  " + std::to_string(s->StartPos) + "-" + (s->EndPos < 0 ? "open" : std::to_string(s->EndPos)) +
           " cond " + std::to_string(s->CondStartPos) + "-" +
           (s->CondEndPos < 0 ? "open" : std::to_string(s->CondEndPos)) + " " + NameOf(s->Rule) +
           " -> " + (inner ? inner->Name() : std::string("-")) + "\n";
  }
  out += "linebreaks " + std::to_string(client.LineBreaks().size()) + "\n";
  for (const auto& b : client.LineBreaks())
    out += "  token " + std::to_string(b->RefIdx) + " line " + std::to_string(b->Line) + " " +
           NameOf(b->Rule) + "\n";
  out += "states " + std::to_string(client.StateChanges().size()) + "\n";
  for (const TStateChange& s : client.StateChanges())
    out += "  token " + std::to_string(s.TokenIndex) + " state $" + IntToHex(s.State, 8) + "\n";

  DumpCollection(out, "styled", client.StyledRanges(), [](const TRange* r) {
    const auto* s = static_cast<const TStyledRange*>(r);
    return " " + NameOf(s->Style) + " flags " + std::to_string(s->Flags) +
           (s->TextRange ? " range " + std::to_string(s->TextRange->Index) : std::string());
  });
  DumpCollection(out, "dyno", client.DynoRanges(), [](const TRange* r) {
    const auto* d = static_cast<const TDynoRange*>(r);
    return " range " + (d->TextRange ? std::to_string(d->TextRange->Index) : std::string("-")) +
           (d->Rule ? " min" : "");
  });
  DumpCollection(out, "collapsible", client.Collapsibles(), [](const TRange* r) {
    return " range " + std::to_string(static_cast<const TCollapsibleRange*>(r)->RangeIdx);
  });
  DumpCollection(out, "staples", client.Staples(), [](const TRange* r) {
    return " " + NameOf(static_cast<const TBlockStaple*>(r)->Rule);
  });
  DumpCollection(out, "linebreakranges", client.LineBreakRanges(), [](const TRange* r) {
    return " " + NameOf(static_cast<const TLineBreakRange*>(r)->Rule);
  });
  return out;
}

}  // namespace qv
