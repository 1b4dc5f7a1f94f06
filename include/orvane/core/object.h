#ifndef ORVANE_CORE_OBJECT_H_
#define ORVANE_CORE_OBJECT_H_

namespace orvane {

// The polymorphic root of every class of the library. Untyped references
// (a symbol's Ref1..Ref4, the session attached to a socket) hold an
// std::shared_ptr<Object>; a host attaches its own objects by deriving from it.
class Object {
 public:
  virtual ~Object() = default;
};

// Offered by classes that hold references to other objects. Deallocate
// releases every reference the object holds, breaking reference cycles
// (symbol <-> reference symbol, client <-> parent, account <-> client).
// Call it before dropping the last reference. Calling it twice is harmless.
class ISafeObject {
 public:
  virtual ~ISafeObject() = default;
  // Releases every reference the object holds.
  virtual void Deallocate() = 0;
};

// Entities are not copyable; derive from this to say so.
class NonCopyable {
 public:
  NonCopyable(const NonCopyable&) = delete;
  NonCopyable& operator=(const NonCopyable&) = delete;

 protected:
  NonCopyable() = default;
  ~NonCopyable() = default;
};

}  // namespace orvane

#endif  // ORVANE_CORE_OBJECT_H_
