#pragma once
// The platform's CBOR item library: a tree of items (integers, byte and text strings,
// arrays, maps, booleans and null) that encodes itself, with canonical ordering of map
// keys. Encoding and decoding run on the system's own CBOR library.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace vcbor {
class Encoder;
}

namespace cppbor {

enum MajorType : uint8_t {
  UINT = 0 << 5,
  NINT = 1 << 5,
  BSTR = 2 << 5,
  TSTR = 3 << 5,
  ARRAY = 4 << 5,
  MAP = 5 << 5,
  SEMANTIC = 6 << 5,
  SIMPLE = 7 << 5,
};

enum SimpleType { BOOLEAN, NULL_T };

class Int;
class Uint;
class Nint;
class Bstr;
class Tstr;
class Array;
class Map;
class Bool;
class Null;
class Simple;

class Item {
 public:
  virtual ~Item() = default;
  virtual MajorType type() const = 0;

  virtual const Int* asInt() const { return nullptr; }
  virtual const Uint* asUint() const { return nullptr; }
  virtual const Nint* asNint() const { return nullptr; }
  virtual const Bstr* asBstr() const { return nullptr; }
  virtual const Tstr* asTstr() const { return nullptr; }
  virtual const Array* asArray() const { return nullptr; }
  virtual const Map* asMap() const { return nullptr; }
  virtual const Simple* asSimple() const { return nullptr; }
  virtual Array* asArray() { return nullptr; }
  virtual Map* asMap() { return nullptr; }

  // Bytes of the encoded item (definite lengths, integers in their shortest form).
  std::vector<uint8_t> encode() const;
  size_t encodedSize() const;
  virtual std::unique_ptr<Item> clone() const = 0;

  bool operator==(const Item& other) const;
  bool operator!=(const Item& other) const { return !(*this == other); }

  // Used by the containers and the encoder.
  virtual void encodeTo(vcbor::Encoder& enc) const = 0;
  virtual size_t payloadSize() const = 0;  // encoded size without the head
  virtual uint64_t headArgument() const = 0;
};

class Int : public Item {
 public:
  virtual int64_t value() const = 0;
  const Int* asInt() const override { return this; }
};

class Uint : public Int {
 public:
  explicit Uint(uint64_t v) : value_(v) {}
  MajorType type() const override { return UINT; }
  const Uint* asUint() const override { return this; }
  int64_t value() const override { return static_cast<int64_t>(value_); }
  uint64_t unsignedValue() const { return value_; }
  std::unique_ptr<Item> clone() const override { return std::make_unique<Uint>(value_); }
  void encodeTo(vcbor::Encoder& enc) const override;
  size_t payloadSize() const override { return 0; }
  uint64_t headArgument() const override { return value_; }

 private:
  uint64_t value_;
};

class Nint : public Int {
 public:
  // v must be negative.
  explicit Nint(int64_t v) : value_(v) {}
  MajorType type() const override { return NINT; }
  const Nint* asNint() const override { return this; }
  int64_t value() const override { return value_; }
  std::unique_ptr<Item> clone() const override { return std::make_unique<Nint>(value_); }
  void encodeTo(vcbor::Encoder& enc) const override;
  size_t payloadSize() const override { return 0; }
  uint64_t headArgument() const override { return static_cast<uint64_t>(-1 - value_); }

 private:
  int64_t value_;
};

class Bstr : public Item {
 public:
  Bstr() = default;
  explicit Bstr(std::vector<uint8_t> v) : value_(std::move(v)) {}
  Bstr(const uint8_t* data, size_t len) : value_(data, data + len) {}
  Bstr(std::pair<const uint8_t*, size_t> p) : value_(p.first, p.first + p.second) {}
  MajorType type() const override { return BSTR; }
  const Bstr* asBstr() const override { return this; }
  const std::vector<uint8_t>& value() const { return value_; }
  std::vector<uint8_t>&& moveValue() { return std::move(value_); }
  std::unique_ptr<Item> clone() const override { return std::make_unique<Bstr>(value_); }
  void encodeTo(vcbor::Encoder& enc) const override;
  size_t payloadSize() const override { return value_.size(); }
  uint64_t headArgument() const override { return value_.size(); }

 private:
  std::vector<uint8_t> value_;
};

class Tstr : public Item {
 public:
  explicit Tstr(std::string v) : value_(std::move(v)) {}
  explicit Tstr(const char* v) : value_(v) {}
  MajorType type() const override { return TSTR; }
  const Tstr* asTstr() const override { return this; }
  const std::string& value() const { return value_; }
  std::unique_ptr<Item> clone() const override { return std::make_unique<Tstr>(value_); }
  void encodeTo(vcbor::Encoder& enc) const override;
  size_t payloadSize() const override { return value_.size(); }
  uint64_t headArgument() const override { return value_.size(); }

 private:
  std::string value_;
};

class Simple : public Item {
 public:
  MajorType type() const override { return SIMPLE; }
  const Simple* asSimple() const override { return this; }
  virtual SimpleType simpleType() const = 0;
  virtual const Bool* asBool() const { return nullptr; }
  virtual const Null* asNull() const { return nullptr; }
  size_t payloadSize() const override { return 0; }
};

class Bool : public Simple {
 public:
  explicit Bool(bool v) : value_(v) {}
  SimpleType simpleType() const override { return BOOLEAN; }
  const Bool* asBool() const override { return this; }
  bool value() const { return value_; }
  std::unique_ptr<Item> clone() const override { return std::make_unique<Bool>(value_); }
  void encodeTo(vcbor::Encoder& enc) const override;
  uint64_t headArgument() const override { return value_ ? 21 : 20; }

 private:
  bool value_;
};

class Null : public Simple {
 public:
  SimpleType simpleType() const override { return NULL_T; }
  const Null* asNull() const override { return this; }
  std::unique_ptr<Item> clone() const override { return std::make_unique<Null>(); }
  void encodeTo(vcbor::Encoder& enc) const override;
  uint64_t headArgument() const override { return 22; }
};

namespace details {

// Turns the argument of add() into an item: integers, byte vectors, strings, bools, items
// and owned items.
template <typename T>
std::unique_ptr<Item> makeItem(T&& v) {
  using D = std::decay_t<T>;
  if constexpr (std::is_same_v<D, std::unique_ptr<Item>>) {
    return std::move(v);
  } else if constexpr (std::is_pointer_v<D> && std::is_base_of_v<Item, std::remove_pointer_t<D>>) {
    return std::unique_ptr<Item>(v);
  } else if constexpr (std::is_base_of_v<Item, D>) {
    return std::make_unique<D>(std::forward<T>(v));
  } else if constexpr (std::is_same_v<D, bool>) {
    return std::make_unique<Bool>(v);
  } else if constexpr (std::is_enum_v<D>) {
    return makeItem(static_cast<std::underlying_type_t<D>>(v));
  } else if constexpr (std::is_integral_v<D> && std::is_signed_v<D>) {
    if (v < 0) return std::make_unique<Nint>(static_cast<int64_t>(v));
    return std::make_unique<Uint>(static_cast<uint64_t>(v));
  } else if constexpr (std::is_integral_v<D>) {
    return std::make_unique<Uint>(static_cast<uint64_t>(v));
  } else if constexpr (std::is_same_v<D, std::vector<uint8_t>>) {
    return std::make_unique<Bstr>(std::forward<T>(v));
  } else if constexpr (std::is_same_v<D, std::string> || std::is_same_v<D, const char*> ||
                       std::is_same_v<D, char*>) {
    return std::make_unique<Tstr>(std::string(v));
  } else if constexpr (std::is_same_v<D, std::string_view>) {
    return std::make_unique<Tstr>(std::string(v));
  } else {
    static_assert(sizeof(D) == 0, "no CBOR item for this type");
  }
}

}  // namespace details

class Array : public Item {
 public:
  Array() = default;
  template <typename... Args>
  explicit Array(Args&&... args) {
    (add(std::forward<Args>(args)), ...);
  }
  Array(Array&&) = default;
  Array& operator=(Array&&) = default;
  Array(const Array& other);
  Array& operator=(const Array&) = delete;

  MajorType type() const override { return ARRAY; }
  const Array* asArray() const override { return this; }
  Array* asArray() override { return this; }
  size_t size() const { return entries_.size(); }
  bool isEmpty() const { return entries_.empty(); }
  const std::unique_ptr<Item>& operator[](size_t index) const { return entries_[index]; }
  std::unique_ptr<Item>& operator[](size_t index) { return entries_[index]; }
  const std::unique_ptr<Item>& get(size_t index) const { return entries_[index]; }

  template <typename T>
  Array& add(T&& v) & {
    entries_.push_back(details::makeItem(std::forward<T>(v)));
    return *this;
  }
  template <typename T>
  Array&& add(T&& v) && {
    entries_.push_back(details::makeItem(std::forward<T>(v)));
    return std::move(*this);
  }

  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

  std::unique_ptr<Item> clone() const override { return std::make_unique<Array>(*this); }
  void encodeTo(vcbor::Encoder& enc) const override;
  size_t payloadSize() const override;
  uint64_t headArgument() const override { return entries_.size(); }

 private:
  std::vector<std::unique_ptr<Item>> entries_;
};

class Map : public Item {
 public:
  using Entry = std::pair<std::unique_ptr<Item>, std::unique_ptr<Item>>;
  Map() = default;
  Map(Map&&) = default;
  Map& operator=(Map&&) = default;
  Map(const Map& other);
  Map& operator=(const Map&) = delete;

  MajorType type() const override { return MAP; }
  const Map* asMap() const override { return this; }
  Map* asMap() override { return this; }
  size_t size() const { return entries_.size(); }
  bool isEmpty() const { return entries_.empty(); }

  template <typename K, typename V>
  Map& add(K&& key, V&& value) & {
    entries_.emplace_back(details::makeItem(std::forward<K>(key)), details::makeItem(std::forward<V>(value)));
    return *this;
  }
  template <typename K, typename V>
  Map&& add(K&& key, V&& value) && {
    entries_.emplace_back(details::makeItem(std::forward<K>(key)), details::makeItem(std::forward<V>(value)));
    return std::move(*this);
  }

  // The value of the first entry whose key equals `key` (an empty pointer when none).
  template <typename K>
  const std::unique_ptr<Item>& get(K&& key) const {
    auto k = details::makeItem(std::forward<K>(key));
    return find(*k);
  }
  const std::unique_ptr<Item>& find(const Item& key) const;

  // Sorts the entries by their encoded keys, shorter encodings first and then byte by byte
  // (the canonical order of RFC 7049).
  Map& canonicalize() &;
  Map&& canonicalize() && {
    canonicalize();
    return std::move(*this);
  }

  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }
  const Entry& operator[](size_t index) const { return entries_[index]; }

  std::unique_ptr<Item> clone() const override { return std::make_unique<Map>(*this); }
  void encodeTo(vcbor::Encoder& enc) const override;
  size_t payloadSize() const override;
  uint64_t headArgument() const override { return entries_.size(); }

 private:
  std::vector<Entry> entries_;
};

}  // namespace cppbor
