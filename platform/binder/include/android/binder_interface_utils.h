#pragma once
// Base classes of interfaces written on the binder C API:
//   class IFoo : public ndk::ICInterface
//   class BnFoo : public ndk::BnCInterface<IFoo>   (server side; createBinder makes the binder)
//   class BpFoo : public ndk::BpCInterface<IFoo>   (proxy over a remote binder)
#include <cassert>
#include <memory>
#include <mutex>
#include <utility>

#include <android/binder_auto_utils.h>
#include <android/binder_ibinder.h>

namespace ndk {

// Objects shared through std::shared_ptr; create them with SharedRefBase::make.
class SharedRefBase {
 public:
  SharedRefBase() = default;
  SharedRefBase(const SharedRefBase&) = delete;
  SharedRefBase& operator=(const SharedRefBase&) = delete;
  virtual ~SharedRefBase() = default;

  template <class T = SharedRefBase>
  std::shared_ptr<T> ref() {
    std::shared_ptr<SharedRefBase> thiz = mThis.lock();
    assert(thiz != nullptr && "object not made with SharedRefBase::make");
    return std::static_pointer_cast<T>(thiz);
  }
  template <class T = SharedRefBase>
  std::shared_ptr<const T> ref() const {
    std::shared_ptr<const SharedRefBase> thiz = mThis.lock();
    assert(thiz != nullptr && "object not made with SharedRefBase::make");
    return std::static_pointer_cast<const T>(thiz);
  }

  template <class T, class... Args>
  static std::shared_ptr<T> make(Args&&... args) {
    T* t = new T(std::forward<Args>(args)...);
    std::shared_ptr<T> ret(t);
    t->mThis = std::static_pointer_cast<SharedRefBase>(ret);
    return ret;
  }

 private:
  std::weak_ptr<SharedRefBase> mThis;
};

class ICInterface : public SharedRefBase {
 public:
  ICInterface() = default;
  ~ICInterface() override = default;

  virtual SpAIBinder asBinder() = 0;
  virtual bool isRemote() = 0;
  virtual binder_status_t dump(int /*fd*/, const char** /*args*/, uint32_t /*numArgs*/) {
    return STATUS_OK;
  }
  virtual binder_status_t handleShellCommand(int /*in*/, int /*out*/, int /*err*/,
                                             const char** /*argv*/, uint32_t /*argc*/) {
    return STATUS_OK;
  }

  // The object behind a local binder of a class made with defineClass; null otherwise.
  static std::shared_ptr<ICInterface> asInterface(AIBinder* binder) {
    return ICInterfaceData::getInterface(binder);
  }

  // The class of an interface: its binders keep the object alive through the user data.
  static AIBinder_Class* defineClass(const char* interfaceDescriptor,
                                     AIBinder_Class_onTransact onTransact);

 private:
  class ICInterfaceData {
   public:
    std::shared_ptr<ICInterface> interface;

    static std::shared_ptr<ICInterface> getInterface(AIBinder* binder) {
      if (binder == nullptr) return nullptr;
      void* userData = AIBinder_getUserData(binder);
      if (userData == nullptr) return nullptr;
      return static_cast<ICInterfaceData*>(userData)->interface;
    }
    static void* onCreate(void* args) {
      std::shared_ptr<ICInterface> interface = static_cast<ICInterface*>(args)->ref<ICInterface>();
      return new ICInterfaceData{std::move(interface)};
    }
    static void onDestroy(void* userData) { delete static_cast<ICInterfaceData*>(userData); }
    static binder_status_t onDump(AIBinder* binder, int fd, const char** args, uint32_t numArgs) {
      std::shared_ptr<ICInterface> interface = getInterface(binder);
      return interface != nullptr ? interface->dump(fd, args, numArgs) : STATUS_DEAD_OBJECT;
    }
    static binder_status_t handleShellCommand(AIBinder* binder, int in, int out, int err,
                                              const char** argv, uint32_t argc) {
      std::shared_ptr<ICInterface> interface = getInterface(binder);
      return interface != nullptr ? interface->handleShellCommand(in, out, err, argv, argc)
                                  : STATUS_DEAD_OBJECT;
    }
  };
};

template <typename INTERFACE>
class BnCInterface : public INTERFACE {
 public:
  BnCInterface() = default;
  ~BnCInterface() override = default;

  // One binder per object while any reference to it lives; a new one after that.
  SpAIBinder asBinder() final {
    std::lock_guard<std::mutex> lock(mBinderLock);
    SpAIBinder binder;
    if (mWeakBinder.get() != nullptr) binder.set(AIBinder_Weak_promote(mWeakBinder.get()));
    if (binder.get() == nullptr) {
      binder = createBinder();
      mWeakBinder.set(AIBinder_Weak_new(binder.get()));
    }
    return binder;
  }
  bool isRemote() final { return false; }

 protected:
  virtual SpAIBinder createBinder() = 0;

 private:
  std::mutex mBinderLock;
  ScopedAIBinder_Weak mWeakBinder;
};

template <typename INTERFACE>
class BpCInterface : public INTERFACE {
 public:
  explicit BpCInterface(const SpAIBinder& binder) : mBinder(binder) {}
  ~BpCInterface() override = default;

  SpAIBinder asBinder() final { return mBinder; }
  bool isRemote() final { return AIBinder_isRemote(mBinder.get()); }
  binder_status_t dump(int fd, const char** args, uint32_t numArgs) override {
    return AIBinder_dump(asBinder().get(), fd, args, numArgs);
  }

 private:
  SpAIBinder mBinder;
};

inline AIBinder_Class* ICInterface::defineClass(const char* interfaceDescriptor,
                                                AIBinder_Class_onTransact onTransact) {
  AIBinder_Class* clazz = AIBinder_Class_define(interfaceDescriptor, ICInterfaceData::onCreate,
                                                ICInterfaceData::onDestroy, onTransact);
  if (clazz == nullptr) return nullptr;
  AIBinder_Class_setOnDump(clazz, ICInterfaceData::onDump);
  AIBinder_Class_setHandleShellCommand(clazz, ICInterfaceData::handleShellCommand);
  return clazz;
}

}  // namespace ndk
