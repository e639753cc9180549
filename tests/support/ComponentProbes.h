// Components that record what the component model tells them. Test-only.
#pragma once

#include <vector>

#include "framework/Classes.h"

namespace qv::test {

// Records the components it was told are gone.
class TRemovalProbe : public TComponent {
public:
  explicit TRemovalProbe(TComponent* owner) : TComponent(owner) {}
  void Notification(TComponent* component, TOperation operation) override {
    if (operation == opRemove) Removed.push_back(component);
    TComponent::Notification(component, operation);
  }
  std::vector<TComponent*> Removed;
};

}  // namespace qv::test
