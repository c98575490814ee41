// The lock count of the library that houses component objects. Every live
// component object holds one lock, so that the library reports itself
// unloadable only when no object of it remains.
#pragma once

struct ModuleLockCount {
  virtual void Lock() = 0;
  virtual void Unlock() = 0;

 protected:
  ~ModuleLockCount() = default;
};

// Holds one lock of the module for as long as it lives. A null module is
// no module: nothing is counted.
class ModuleLockHolder {
 public:
  explicit ModuleLockHolder(ModuleLockCount* module) : module_(module) {
    if (module_) module_->Lock();
  }
  ~ModuleLockHolder() {
    if (module_) module_->Unlock();
  }
  ModuleLockHolder(const ModuleLockHolder&) = delete;
  ModuleLockHolder& operator=(const ModuleLockHolder&) = delete;

 private:
  ModuleLockCount* const module_;
};
