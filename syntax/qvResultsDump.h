// A stable text form of a client's results, for golden tests and the command-line tool.
//
// The dump is UTF-8 text, one record a line, in sections that always appear in this order,
// each headed by its name and record count:
//
//   tokens N
//     <index> <start>-<end> <type name>(<type>) <rule> [<style>] "<text>"
//   ranges N
//     <index> <rule> tokens <start>-<end|open> cond <cond>/<end cond|-> ident <i> parent <index|->
//   sublexers N
//     <start>-<end|open> cond <cond start>-<cond end|open> <rule> -> <analyzer>
//   linebreaks N
//     token <index> line <line> <rule>
//   states N
//     token <index> state $<8 hex digits>
//   styled N / dyno N / collapsible N / staples N / linebreakranges N   (display ranges,
//     each "<start>-<end>" and what it refers to; layers in order, ranges in each layer)
//
// Offsets are 0-based with exclusive ends; a rule or style without one shows "-". A token's
// type name comes from its analyzer's TokenTypeNames ("?" beyond them). Texts are quoted with
// \" \\ \n \r \t and \uXXXX for other characters below 32.
#pragma once

#include <string>

namespace qv {

class TClientSyntAnalyzer;

std::string DumpResults(const TClientSyntAnalyzer& client);

}  // namespace qv
