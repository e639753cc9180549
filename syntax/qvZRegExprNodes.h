// The compiled form of an expression: a tree of nodes built by the compiler
// (qvZRegExprCompile.cpp) and walked by the anchored backtracking matcher
// (qvZRegExprMatch.cpp). Lists own their children; Next, Owner and the other links the
// compiler derives only refer to nodes of the same tree.
//
// Match results of every node operation: 0 failed (the position is unchanged), 1 the node
// and the rest of its enclosing group matched but what follows the group did not, 2 the
// node and everything after it up to the end of the expression matched.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class TqvRegExpr;
class TreSubExpr;
struct TCodePageInfo;

// Which class a node is. The matcher switches on it instead of calling a virtual per node
// visit, so one inlined loop serves every node kind.
enum TRENodeType : uint8_t {
  ntCharSeq, ntCharSet, ntSpecCheck, ntRef, ntZeroWidth, ntBranch, ntSubExpr
};

// Base of every node. A node is created for one owner group and never changes owner.
// Copying a node would break the links into its tree, so nodes are neither copied nor moved.
class TRENodeBase {
public:
  virtual ~TRENodeBase() = default;
  TRENodeBase(const TRENodeBase&) = delete;
  TRENodeBase& operator=(const TRENodeBase&) = delete;

  int32_t LoopMin = 1;   // minimum repetitions
  int32_t LoopMax = 1;   // maximum repetitions; -1 unbounded; 0 exactly none ({0})
  bool NonGreedy = false;
  TRENodeBase* Next = nullptr;   // the next node of the same alternative
  TRENodeBase* Owner = nullptr;  // the group whose alternative holds the node; null in a
                                 // look-around body and for the root

  // One node's own operation. 8-bit text; codePage -1 for single-byte mode, else the
  // multibyte code page whose characters are one or two bytes. p is 1-based. These run
  // without a step budget; a recursion deeper than the matcher allows raises
  // ERegExprMatchError.
  virtual int MatchForward(std::string_view text, int& p, int codePage) = 0;
  virtual int MatchBackward(std::string_view text, int& p, int codePage) = 0;
  // The same on 16-bit text: one unit a character, 16-bit classes and upper-casing,
  // back-references equal up to the case of ASCII letters.
  virtual int MatchForwardWide(std::u16string_view text, int& p) = 0;
  virtual int MatchBackwardWide(std::u16string_view text, int& p) = 0;

  TRENodeType NodeType() const { return FNodeType; }

  // --- Derived by the compiler once the tree is complete; read by the matcher. ---
  // What follows the node up to the end of the expression: Next, else the continuation
  // of the owner; null at the end of the expression or of a look-around body.
  TRENodeBase* Continuation = nullptr;
  // Owned by a group and the final node of its alternative: its match ends the group, so
  // it records the group's capture end (its start when matching backward).
  bool IsLast = false;
  // A leaf matched exactly once that is not last: the matcher walks runs of these in a
  // loop instead of recursing once per node (long literals cost no stack).
  bool IsSimple = false;
  // A consuming leaf other than "z": in single-byte mode its whole test is ByteMap.
  bool ByteLeaf = false;
  // Single-byte mode, by the 8-bit semantics of the system code page the tree was finished
  // with and without a class hook. The maps are 256 bits, one per byte value.
  // The bytes a consuming leaf accepts.
  uint64_t ByteMap[4] = {};
  // When set, the sequence from this node fails at its first character unless the byte
  // there is in FirstMap: the node is a consuming leaf (FirstMap is ByteMap), or a group
  // whose every alternative begins with such a sequence, and it must match at least once.
  // That failure changes no capture; it costs RejectSteps steps and at most RejectDepth
  // levels of recursion.
  const uint64_t* FirstMap = nullptr;
  int32_t RejectDepth = 0;
  uint64_t RejectSteps = 0;
  // When set, a byte leaf whose continuation is none (greedy only) or has a FirstMap:
  // while the repetition takes a byte of ScanMap (ByteMap without the continuation's first
  // bytes), the continuation fails at once, so the matcher scans such bytes in a loop.
  const uint64_t* ScanMap = nullptr;
  // Storage of a group's FirstMap or a leaf's ScanMap when it is not ByteMap.
  std::unique_ptr<uint64_t[]> OwnMap;

protected:
  TRENodeBase(TRENodeBase* owner, TRENodeType type) : Owner(owner), FNodeType(type) {}

private:
  TRENodeType FNodeType;
};

// One literal character.
class TCharSeqNode : public TRENodeBase {
public:
  explicit TCharSeqNode(TRENodeBase* owner) : TRENodeBase(owner, ntCharSeq) {}
  bool IgnoreCase = false;
  // The character: a byte value or a 16-bit code; under IgnoreCase already upper-cased.
  char16_t Char = 0;

  int MatchForward(std::string_view text, int& p, int codePage) override;
  int MatchBackward(std::string_view text, int& p, int codePage) override;
  int MatchForwardWide(std::u16string_view text, int& p) override;
  int MatchBackwardWide(std::u16string_view text, int& p) override;
};

// A bracketed set.
class TCharSetNode : public TRENodeBase {
public:
  explicit TCharSetNode(TRENodeBase* owner) : TRENodeBase(owner, ntCharSet) {}
  bool IgnoreCase = false;
  bool Negate = false;
  std::u16string Ranges;   // bound pairs, low then high
  std::u16string Classes;  // class letters (w, D, ...)
  std::u16string Chars;    // single members, each once

  // Membership of the 256 byte values, filled in when the tree is complete. Map8 uses the
  // 8-bit semantics of the system code page Map8CodePage was built for; Map16 the 16-bit
  // semantics of the codes 0..255. Neither consults ClassTestHook, so the matcher uses them
  // only when Classes is empty or no hook is set.
  uint64_t Map8[4] = {};
  uint64_t Map16[4] = {};
  const TCodePageInfo* Map8CodePage = nullptr;

  int MatchForward(std::string_view text, int& p, int codePage) override;
  int MatchBackward(std::string_view text, int& p, int codePage) override;
  int MatchForwardWide(std::u16string_view text, int& p) override;
  int MatchBackwardWide(std::u16string_view text, int& p) override;
};

// A check at the position, consuming or not. Kinds: '.' any character, ':' any but a line
// break, '^' '$' line start and end, 'A' 'Z' text start and end, 'b' 'B' word boundary and
// its negation, 'z' one line break (CR LF as one), any other letter a character class.
class TSpecCheckNode : public TRENodeBase {
public:
  explicit TSpecCheckNode(TRENodeBase* owner) : TRENodeBase(owner, ntSpecCheck) {}
  char16_t Kind = u'.';

  int MatchForward(std::string_view text, int& p, int codePage) override;
  int MatchBackward(std::string_view text, int& p, int codePage) override;
  int MatchForwardWide(std::u16string_view text, int& p) override;
  int MatchBackwardWide(std::u16string_view text, int& p) override;
};

// A back-reference \1..\9.
class TRefNode : public TRENodeBase {
public:
  explicit TRefNode(TRENodeBase* owner) : TRENodeBase(owner, ntRef) {}
  int32_t GroupIndex = 0;
  bool IgnoreCase = false;
  TreSubExpr* Group = nullptr;  // the root's SubExprs[GroupIndex]; not owned

  int MatchForward(std::string_view text, int& p, int codePage) override;
  int MatchBackward(std::string_view text, int& p, int codePage) override;
  int MatchForwardWide(std::u16string_view text, int& p) override;
  int MatchBackwardWide(std::u16string_view text, int& p) override;
};

class TreBranchNode;

// A look-ahead or look-behind. A look-behind body is stored in reverse order, so that
// matching it backward reads the text before the position from right to left.
class TZeroWidth : public TRENodeBase {
public:
  explicit TZeroWidth(TRENodeBase* owner);
  ~TZeroWidth() override;
  bool Behind = false;
  bool Negative = false;
  std::unique_ptr<TreBranchNode> Body;  // owned; its nodes have no owner

  int MatchForward(std::string_view text, int& p, int codePage) override;
  int MatchBackward(std::string_view text, int& p, int codePage) override;
  int MatchForwardWide(std::u16string_view text, int& p) override;
  int MatchBackwardWide(std::u16string_view text, int& p) override;
};

// A node holding an ordered list of owned nodes.
class TreListNodeBase : public TRENodeBase {
public:
  std::vector<std::unique_ptr<TRENodeBase>> Nodes;
  virtual void Clear() { Nodes.clear(); }

protected:
  TreListNodeBase(TRENodeBase* owner, TRENodeType type) : TRENodeBase(owner, type) {}
};

// One alternative: its nodes are the items in order, linked by Next.
class TreBranchNode : public TreListNodeBase {
public:
  explicit TreBranchNode(TRENodeBase* owner) : TreListNodeBase(owner, ntBranch) {}
  // Appends a node of this alternative: links the previous one to it.
  TRENodeBase* Add(std::unique_ptr<TRENodeBase> node);

  int MatchForward(std::string_view text, int& p, int codePage) override;
  int MatchBackward(std::string_view text, int& p, int codePage) override;
  int MatchForwardWide(std::u16string_view text, int& p) override;
  int MatchBackwardWide(std::u16string_view text, int& p) override;
};

// A parenthesised group: its nodes are its alternatives (TreBranchNode). CapStart and
// CapEnd are per-match state: -1 before a match, 0 for "not set".
class TreSubExpr : public TreListNodeBase {
public:
  explicit TreSubExpr(TRENodeBase* owner) : TreListNodeBase(owner, ntSubExpr) {}
  int32_t CapStart = -1;
  int32_t CapEnd = -1;

  int MatchForward(std::string_view text, int& p, int codePage) override;
  int MatchBackward(std::string_view text, int& p, int codePage) override;
  int MatchForwardWide(std::u16string_view text, int& p) override;
  int MatchBackwardWide(std::u16string_view text, int& p) override;
};

// Bytes that can begin a forward match, computed from the tree when it is complete. The
// matcher consults it only while the facts it was computed from still hold (same mode,
// same code page tables, no class hook when classes were involved).
struct TStartFilter {
  bool Any = true;            // the expression may match empty, or starts unpredictably
  bool MultiByte = false;     // computed for multibyte mode (else single-byte)
  bool UsesClasses = false;   // some class test decided a bit
  const TCodePageInfo* SystemCodePage = nullptr;  // 8-bit semantics it was computed with
  const TCodePageInfo* CodePage = nullptr;        // multibyte code page it was computed with
  uint64_t Bits[4] = {};
  bool Allows(uint8_t b) const { return (Bits[b >> 6] >> (b & 63)) & 1; }
};

// The whole expression. Entry 0 of SubExprs is the root itself; entry n is the group
// opened n-th. Groups inside look-around bodies are not numbered.
class TreRootNode : public TreSubExpr {
public:
  explicit TreRootNode(TqvRegExpr* regExpr) : TreSubExpr(nullptr), RegExpr(regExpr) {
    SubExprs.push_back(this);
  }
  std::vector<TreSubExpr*> SubExprs;  // not owning
  TqvRegExpr* RegExpr;                // the owning expression object; not owned
  TStartFilter StartFilter;
  // The system code page the nodes' byte maps were computed with.
  const TCodePageInfo* ByteMapCodePage = nullptr;

  // Empties the alternatives and resets SubExprs to the root alone.
  void Clear() override;
};

// Fills in what the matcher derives from a complete tree: the continuation links, the
// last and simple flags, the set bitmaps and the start filter. multiByte and codePage are
// the mode the expression will be matched in (codePage is resolved, never 0 or 1).
void FinishTree(TreRootNode& root, bool multiByte, int codePage);

}  // namespace qv
