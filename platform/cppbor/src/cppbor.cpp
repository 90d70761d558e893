// cppbor items over the system's CBOR encoder and pull decoder.
#include <cbor/cbor.h>
#include <cppbor.h>
#include <cppbor_parse.h>

#include <algorithm>

namespace cppbor {

namespace {

size_t headSize(uint64_t arg) {
  if (arg < 24) return 1;
  if (arg <= 0xFF) return 2;
  if (arg <= 0xFFFF) return 3;
  if (arg <= 0xFFFFFFFFull) return 5;
  return 9;
}

const std::unique_ptr<Item> kNoItem;

}  // namespace

size_t Item::encodedSize() const { return headSize(headArgument()) + payloadSize(); }

std::vector<uint8_t> Item::encode() const {
  std::vector<uint8_t> out(encodedSize());
  vcbor::Encoder enc(out.data(), out.size());
  encodeTo(enc);
  size_t len = 0;
  if (enc.finish(&len) != vcbor::kSuccess) return {};
  out.resize(len);
  return out;
}

bool Item::operator==(const Item& other) const { return type() == other.type() && encode() == other.encode(); }

void Uint::encodeTo(vcbor::Encoder& enc) const { enc.addUInt64(value_); }
void Nint::encodeTo(vcbor::Encoder& enc) const { enc.addNegative(static_cast<uint64_t>(-1 - value_)); }
void Bstr::encodeTo(vcbor::Encoder& enc) const { enc.addBytes(value_.data(), value_.size()); }
void Tstr::encodeTo(vcbor::Encoder& enc) const { enc.addText(UsefulBufC{value_.data(), value_.size()}); }
void Bool::encodeTo(vcbor::Encoder& enc) const { enc.addBool(value_); }
void Null::encodeTo(vcbor::Encoder& enc) const { enc.addNull(); }

Array::Array(const Array& other) : Item() {
  entries_.reserve(other.entries_.size());
  for (const auto& e : other.entries_) entries_.push_back(e->clone());
}

void Array::encodeTo(vcbor::Encoder& enc) const {
  enc.openArray();
  for (const auto& e : entries_) e->encodeTo(enc);
  enc.closeArray();
}

size_t Array::payloadSize() const {
  size_t n = 0;
  for (const auto& e : entries_) n += e->encodedSize();
  return n;
}

Map::Map(const Map& other) : Item() {
  entries_.reserve(other.entries_.size());
  for (const auto& [k, v] : other.entries_) entries_.emplace_back(k->clone(), v->clone());
}

const std::unique_ptr<Item>& Map::find(const Item& key) const {
  for (const auto& [k, v] : entries_) {
    if (*k == key) return v;
  }
  return kNoItem;
}

Map& Map::canonicalize() & {
  std::vector<std::pair<std::vector<uint8_t>, Entry>> keyed;
  keyed.reserve(entries_.size());
  for (auto& e : entries_) keyed.emplace_back(e.first->encode(), std::move(e));
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    if (a.first.size() != b.first.size()) return a.first.size() < b.first.size();
    return a.first < b.first;
  });
  entries_.clear();
  for (auto& k : keyed) entries_.push_back(std::move(k.second));
  return *this;
}

void Map::encodeTo(vcbor::Encoder& enc) const {
  enc.openMap();
  for (const auto& [k, v] : entries_) {
    k->encodeTo(enc);
    v->encodeTo(enc);
  }
  enc.closeMap();
}

size_t Map::payloadSize() const {
  size_t n = 0;
  for (const auto& [k, v] : entries_) n += k->encodedSize() + v->encodedSize();
  return n;
}

// ---------------------------------------------------------------- parse

namespace {

class Parser {
 public:
  Parser(const uint8_t* begin, size_t len) : pool_(len), dec_(begin, len) {
    dec_.setStringPool(pool_.data(), pool_.size());
  }

  std::unique_ptr<Item> top(std::string* err) {
    vcbor::Item item;
    if (dec_.getNext(item) != vcbor::kSuccess) return fail(err);
    uint8_t next = 0;
    auto result = build(item, &next, err);
    return result;
  }
  size_t position() const { return dec_.position(); }

 private:
  std::unique_ptr<Item> fail(std::string* err) {
    if (err->empty()) err->assign(vcbor::errorName(dec_.error()));
    return nullptr;
  }

  static std::unique_ptr<Item> fromInt(uint8_t type, int64_t i, uint64_t u) {
    if (type == vcbor::kTypeUint64) return std::make_unique<Uint>(u);
    if (i < 0) return std::make_unique<Nint>(i);
    return std::make_unique<Uint>(static_cast<uint64_t>(i));
  }

  static std::unique_ptr<Item> key(const vcbor::Item& item, std::string* err) {
    switch (item.labelType) {
      case vcbor::kTypeInt64:
      case vcbor::kTypeUint64:
        return fromInt(item.labelType, item.label.i64, item.label.u64);
      case vcbor::kTypeText:
        return std::make_unique<Tstr>(
            std::string(static_cast<const char*>(item.label.str.ptr), item.label.str.len));
      case vcbor::kTypeBytes:
        return std::make_unique<Bstr>(static_cast<const uint8_t*>(item.label.str.ptr), item.label.str.len);
      default:
        *err = "unsupported map key";
        return nullptr;
    }
  }

  // Builds the item just read and everything inside it; `next` receives the nesting level
  // of the item that follows the last one consumed.
  std::unique_ptr<Item> build(const vcbor::Item& item, uint8_t* next, std::string* err) {
    *next = item.nextNestLevel;
    if (item.numTags != 0) {
      *err = "tagged items are not supported";
      return nullptr;
    }
    switch (item.type) {
      case vcbor::kTypeInt64:
      case vcbor::kTypeUint64:
        return fromInt(item.type, item.val.i64, item.val.u64);
      case vcbor::kTypeBytes:
        return std::make_unique<Bstr>(static_cast<const uint8_t*>(item.val.str.ptr), item.val.str.len);
      case vcbor::kTypeText:
        return std::make_unique<Tstr>(std::string(static_cast<const char*>(item.val.str.ptr), item.val.str.len));
      case vcbor::kTypeTrue:
        return std::make_unique<Bool>(true);
      case vcbor::kTypeFalse:
        return std::make_unique<Bool>(false);
      case vcbor::kTypeNull:
        return std::make_unique<Null>();
      case vcbor::kTypeArray:
      case vcbor::kTypeMap:
        return container(item, next, err);
      case vcbor::kTypeNegInt65:
        *err = "integer out of range";
        return nullptr;
      default:
        *err = "unsupported item type";
        return nullptr;
    }
  }

  std::unique_ptr<Item> container(const vcbor::Item& item, uint8_t* next, std::string* err) {
    const bool isMap = item.type == vcbor::kTypeMap;
    auto array = std::make_unique<Array>();
    auto map = std::make_unique<Map>();
    const uint8_t level = item.nestingLevel;
    uint8_t following = item.nextNestLevel;
    while (following > level) {
      vcbor::Item child;
      if (dec_.getNext(child) != vcbor::kSuccess) return fail(err);
      std::unique_ptr<Item> k;
      if (isMap) {
        k = key(child, err);
        if (!k) return nullptr;
      }
      auto v = build(child, &following, err);
      if (!v) return nullptr;
      if (isMap) {
        map->add(std::move(k), std::move(v));
      } else {
        array->add(std::move(v));
      }
    }
    *next = following;
    if (isMap) return map;
    return array;
  }

  std::vector<uint8_t> pool_;
  vcbor::Decoder dec_;
};

}  // namespace

ParseResult parse(const uint8_t* begin, const uint8_t* end) {
  if (begin == nullptr || end < begin) return {nullptr, begin, "no input"};
  Parser p(begin, static_cast<size_t>(end - begin));
  std::string err;
  auto item = p.top(&err);
  if (!item) return {nullptr, begin + p.position(), err.empty() ? "decode failed" : err};
  return {std::move(item), begin + p.position(), ""};
}

}  // namespace cppbor
