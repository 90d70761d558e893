#include "cbor_tree.h"

#include <cmath>
#include <cstdio>

namespace vcbor::testing {

bool Node::operator==(const Node& o) const {
  if (type != o.type || tags != o.tags || s != o.s || kids != o.kids) return false;
  if (type == kTypeDouble) {
    if (std::isnan(d) || std::isnan(o.d)) return std::isnan(d) && std::isnan(o.d);
    return d == o.d && std::signbit(d) == std::signbit(o.d);
  }
  return u == o.u;
}

std::string Node::describe() const {
  std::string out;
  for (uint64_t t : tags) out += std::to_string(t) + "(";
  char tmp[64];
  switch (type) {
    case kTypeInt64: out += std::to_string(static_cast<int64_t>(u)); break;
    case kTypeUint64: out += std::to_string(u); break;
    case kTypeNegInt65: out += "-1-" + std::to_string(u); break;
    case kTypeDouble: std::snprintf(tmp, sizeof tmp, "%.17g", d); out += tmp; break;
    case kTypeBytes:
      out += "h'";
      for (uint8_t b : s) {
        std::snprintf(tmp, sizeof tmp, "%02x", b);
        out += tmp;
      }
      out += "'";
      break;
    case kTypeText: out += "\"" + std::string(s.begin(), s.end()) + "\""; break;
    case kTypeArray:
    case kTypeMap:
      out += type == kTypeArray ? "[" : "{";
      for (size_t k = 0; k < kids.size(); k++) {
        if (k != 0) out += (type == kTypeMap && k % 2 == 1) ? ": " : ", ";
        out += kids[k].describe();
      }
      out += type == kTypeArray ? "]" : "}";
      break;
    case kTypeFalse: out += "false"; break;
    case kTypeTrue: out += "true"; break;
    case kTypeNull: out += "null"; break;
    case kTypeUndefined: out += "undefined"; break;
    case kTypeSimple: out += "simple(" + std::to_string(u) + ")"; break;
    default: out += "?"; break;
  }
  for (size_t k = 0; k < tags.size(); k++) out += ")";
  return out;
}

static Node fromValue(const Item& item) {
  Node n;
  n.type = item.type;
  n.tags.assign(item.tags, item.tags + item.numTags);
  switch (item.type) {
    case kTypeInt64:
    case kTypeUint64:
    case kTypeNegInt65: n.u = item.val.u64; break;
    case kTypeSimple: n.u = item.val.simple; break;
    case kTypeDouble: n.d = item.val.d; break;
    case kTypeBytes:
    case kTypeText: {
      const auto* p = static_cast<const uint8_t*>(item.val.str.ptr);
      n.s.assign(p, p + item.val.str.len);
      break;
    }
    default: break;
  }
  return n;
}

static Node fromLabel(const Item& item) {
  Node n;
  n.type = item.labelType;
  if (n.type == kTypeText || n.type == kTypeBytes) {
    const auto* p = static_cast<const uint8_t*>(item.label.str.ptr);
    n.s.assign(p, p + item.label.str.len);
  } else {
    n.u = item.label.u64;
  }
  return n;
}

// Builds the subtree of `item`, reading its contents from `dec`.
static uint8_t build(Decoder& dec, const Item& item, Node* out, uint8_t* nextLevel) {
  *out = fromValue(item);
  *nextLevel = item.nextNestLevel;
  if (item.type != kTypeArray && item.type != kTypeMap) return kSuccess;
  const uint8_t level = item.nestingLevel;
  while (*nextLevel > level) {
    Item child;
    uint8_t e = dec.getNext(child);
    if (e != kSuccess) return e;
    if (item.type == kTypeMap) out->kids.push_back(fromLabel(child));
    Node sub;
    e = build(dec, child, &sub, nextLevel);
    if (e != kSuccess) return e;
    out->kids.push_back(std::move(sub));
  }
  return kSuccess;
}

uint8_t readTree(Decoder& dec, Node* out) {
  Item item;
  uint8_t e = dec.getNext(item);
  if (e != kSuccess) return e;
  uint8_t next;
  return build(dec, item, out, &next);
}

uint8_t decodeTree(const std::vector<uint8_t>& bytes, Node* out) {
  Decoder dec(bytes.data(), bytes.size());
  std::vector<uint8_t> pool(bytes.size() + 1);
  dec.setStringPool(pool.data(), pool.size());
  uint8_t e = readTree(dec, out);
  if (e != kSuccess) return e;
  // The tree holds copies of every string, so the pool may go with this frame.
  return dec.finish();
}

static void encodeNode(Encoder& enc, const Node& n) {
  for (uint64_t t : n.tags) enc.addTag(t);
  switch (n.type) {
    case kTypeInt64: enc.addInt64(static_cast<int64_t>(n.u)); break;
    case kTypeUint64: enc.addUInt64(n.u); break;
    case kTypeNegInt65: enc.addNegative(n.u); break;
    case kTypeDouble: enc.addDouble(n.d); break;
    case kTypeBytes: enc.addBytes(n.s.data(), n.s.size()); break;
    case kTypeText: enc.addText(UsefulBufC{n.s.data(), n.s.size()}); break;
    case kTypeFalse: enc.addBool(false); break;
    case kTypeTrue: enc.addBool(true); break;
    case kTypeNull: enc.addNull(); break;
    case kTypeUndefined: enc.addUndefined(); break;
    case kTypeSimple: enc.addSimple(static_cast<uint8_t>(n.u)); break;
    case kTypeArray:
      enc.openArray();
      for (const Node& k : n.kids) encodeNode(enc, k);
      enc.closeArray();
      break;
    case kTypeMap:
      enc.openMap();
      for (const Node& k : n.kids) encodeNode(enc, k);
      enc.closeMap();
      break;
    default: enc.setError(kCallerError); break;
  }
}

// An upper bound of the node's preferred encoding.
static size_t encodedBound(const Node& n) {
  size_t size = 9 + 9 * n.tags.size() + n.s.size();
  for (const Node& k : n.kids) size += encodedBound(k);
  return size;
}

std::vector<uint8_t> encodeTree(const Node& node) {
  std::vector<uint8_t> out(encodedBound(node));
  Encoder enc(out.data(), out.size());
  encodeNode(enc, node);
  size_t len = 0;
  if (enc.finish(&len) != kSuccess) return {};
  out.resize(len);
  return out;
}

uint8_t walkAll(const uint8_t* data, size_t len) {
  Decoder dec(data, len);
  std::vector<uint8_t> pool(len + 1);
  dec.setStringPool(pool.data(), pool.size());
  Item item;
  uint8_t e;
  while ((e = dec.getNext(item)) == kSuccess) {
  }
  if (e != kNoMoreItems) return e;
  return dec.finish();
}

const Node* mapGet(const Node& map, const std::string& key) {
  if (map.type != kTypeMap) return nullptr;
  for (size_t k = 0; k + 1 < map.kids.size(); k += 2) {
    const Node& label = map.kids[k];
    if (label.type == kTypeText && std::string(label.s.begin(), label.s.end()) == key) {
      return &map.kids[k + 1];
    }
  }
  return nullptr;
}

}  // namespace vcbor::testing
