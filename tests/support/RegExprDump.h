// Test-only dump of a compiled expression tree, so tests compare structures as strings:
//   chr'a'  chr#263A  chri'A' (ignore case)   set[a-z_\w] seti^[...] (ignore case, negated)
//   spc'.' (a TSpecCheckNode kind)   ref1 refi1   ahead(...) !ahead(...) behind(...) !behind(...)
//   grp(br(...)|br(...))   and after a node its quantifier {min,max}, "?" when lazy.
// Alternatives are separated by "|", items of a branch by a blank.
#pragma once

#include <string>

#include "syntax/qvZRegExprNodes.h"

namespace qv::test {

inline std::string DumpChar(char16_t c) {
  if (c >= 0x20 && c < 0x7F && c != u'\'' && c != u'\\')
    return std::string("'") + static_cast<char>(c) + "'";
  static const char* hex = "0123456789ABCDEF";
  std::string s = "#";
  if (c > 0xFF) s += {hex[c >> 12], hex[(c >> 8) & 15]};
  return s + hex[(c >> 4) & 15] + hex[c & 15];
}

inline std::string DumpSetChar(char16_t c) {
  if (c >= 0x20 && c < 0x7F && c != u'\\' && c != u']') return std::string(1, static_cast<char>(c));
  return "<" + DumpChar(c) + ">";
}

std::string DumpNode(const TRENodeBase& node);

inline std::string DumpList(const TreListNodeBase& list, const char* separator) {
  std::string s;
  for (const auto& child : list.Nodes) {
    if (!s.empty()) s += separator;
    s += DumpNode(*child);
  }
  return s;
}

inline std::string DumpNode(const TRENodeBase& node) {
  std::string s;
  switch (node.NodeType()) {
    case ntCharSeq: {
      const auto& n = static_cast<const TCharSeqNode&>(node);
      s = (n.IgnoreCase ? "chri" : "chr") + DumpChar(n.Char);
      break;
    }
    case ntCharSet: {
      const auto& n = static_cast<const TCharSetNode&>(node);
      s = std::string(n.IgnoreCase ? "seti" : "set") + (n.Negate ? "^[" : "[");
      for (size_t i = 0; i + 1 < n.Ranges.size(); i += 2)
        s += DumpSetChar(n.Ranges[i]) + "-" + DumpSetChar(n.Ranges[i + 1]);
      for (char16_t c : n.Chars) s += DumpSetChar(c);
      for (char16_t c : n.Classes) s += std::string("\\") + static_cast<char>(c);
      s += "]";
      break;
    }
    case ntSpecCheck:
      s = "spc" + DumpChar(static_cast<const TSpecCheckNode&>(node).Kind);
      break;
    case ntRef: {
      const auto& n = static_cast<const TRefNode&>(node);
      s = (n.IgnoreCase ? "refi" : "ref") + std::to_string(n.GroupIndex);
      break;
    }
    case ntZeroWidth: {
      const auto& n = static_cast<const TZeroWidth&>(node);
      s = std::string(n.Negative ? "!" : "") + (n.Behind ? "behind(" : "ahead(") +
          DumpList(*n.Body, " ") + ")";
      break;
    }
    case ntBranch:
      s = "br(" + DumpList(static_cast<const TreListNodeBase&>(node), " ") + ")";
      break;
    case ntSubExpr:
      s = "grp(" + DumpList(static_cast<const TreListNodeBase&>(node), "|") + ")";
      break;
  }
  if (node.LoopMin != 1 || node.LoopMax != 1)
    s += "{" + std::to_string(node.LoopMin) + "," + std::to_string(node.LoopMax) + "}";
  if (node.NonGreedy) s += "?";
  return s;
}

// The whole expression: its alternatives separated by "|"; "" when it has none.
inline std::string DumpTree(const TreRootNode* root) {
  return root ? DumpList(*root, "|") : "<none>";
}

}  // namespace qv::test
