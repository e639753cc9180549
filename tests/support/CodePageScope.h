// Sets the system code page for one test and puts the previous one back. Test-only.
#pragma once

#include "framework/TextServices.h"

namespace qv::test {

class TSystemCodePageScope {
public:
  explicit TSystemCodePageScope(int codePage) : FSaved(GetACP()) { SetSystemCodePage(codePage); }
  ~TSystemCodePageScope() { SetSystemCodePage(FSaved); }
  TSystemCodePageScope(const TSystemCodePageScope&) = delete;
  TSystemCodePageScope& operator=(const TSystemCodePageScope&) = delete;

private:
  int FSaved;
};

}  // namespace qv::test
