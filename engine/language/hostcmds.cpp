#include "engine/language/hostcmds.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/uppercas.h"

namespace LumoHost {
namespace {

struct TCommandNode {
  ShortStr name;
  ShortStr signature;
  uint16_t count = 0;
  uint16_t id = 0;
  std::unique_ptr<TCommandNode> left;
  std::unique_ptr<TCommandNode> right;
};

std::unique_ptr<TCommandNode> g_root;

const char kDefaultText[] = "default";

int16_t DefaultExec(int32_t, uint16_t id, ZetArgDescriptor* args) {
  ShortStr name;
  ShortStr signature;
  uint16_t foundId = 0;
  uint16_t count = 0;
  uint8_t kind = 0;
  if (args && CommandNameOf(id, name) && FindCommand(name, signature, foundId, count, kind)) {
    if (!signature.empty() && signature[0] == 'R' && args[0].value) std::memset(args[0].value, 0, 8);
    if (!signature.empty() && signature[0] == 'S')
      args[0].value = reinterpret_cast<uint8_t*>(const_cast<char*>(kDefaultText));
  }
  return kNoHost;
}
int16_t DefaultLookup(uint16_t, const char*) { return kNoHost; }
int16_t DefaultDescribe(uint16_t, uint16_t, char*) { return kNoHost; }
int16_t DefaultDispatch(double, uint16_t, ZetArgDescriptor*) { return kNoHost; }

ZetExecCommandProc g_exec = DefaultExec;
ZetLookupProc g_lookup = DefaultLookup;
ZetDescribeProc g_describe = DefaultDescribe;
ZetDispatchProc g_run[3] = {DefaultDispatch, DefaultDispatch, DefaultDispatch};

int Compare(std::string_view a, std::string_view b) { return UPPERCAS::CollateCompare(a, b); }

const TCommandNode* Find(std::string_view name) {
  const TCommandNode* node = g_root.get();
  while (node) {
    const int c = Compare(name, node->name);
    if (c == 0) return node;
    node = c < 0 ? node->left.get() : node->right.get();
  }
  return nullptr;
}

const TCommandNode* FindId(const TCommandNode* node, uint16_t id) {
  if (!node) return nullptr;
  if (node->id == id) return node;
  if (const TCommandNode* n = FindId(node->left.get(), id)) return n;
  return FindId(node->right.get(), id);
}

// Frees a subtree without recursing (a degenerate tree may be deep).
void FreeTree(std::unique_ptr<TCommandNode> root) {
  std::vector<std::unique_ptr<TCommandNode>> pending;
  if (root) pending.push_back(std::move(root));
  while (!pending.empty()) {
    std::unique_ptr<TCommandNode> n = std::move(pending.back());
    pending.pop_back();
    if (n->left) pending.push_back(std::move(n->left));
    if (n->right) pending.push_back(std::move(n->right));
  }
}

}  // namespace

void ClearCommandTree() { FreeTree(std::move(g_root)); }
void DoneCommandTree() { FreeTree(std::move(g_root)); }

int RegisterCommand(std::string_view name, std::string_view signature, uint16_t count, uint16_t id) {
  std::unique_ptr<TCommandNode>* place = &g_root;
  while (*place) {
    const int c = Compare(name, (*place)->name);
    if (c == 0) return -1;
    place = c < 0 ? &(*place)->left : &(*place)->right;
  }
  auto node = std::make_unique<TCommandNode>();
  node->name = name;
  node->signature = signature;
  node->count = count;
  node->id = id;
  *place = std::move(node);
  return 0;
}

int ParseAndRegisterCommand(std::string_view declaration, uint8_t, uint16_t id, uint16_t count) {
  const size_t colon = declaration.find(':');
  if (colon == std::string_view::npos) return 1;
  const std::string_view name = declaration.substr(0, colon);
  std::string_view rest = declaration.substr(colon + 1);
  if (rest.empty()) return 2;
  ShortStr signature(rest.substr(0, 1));
  rest.remove_prefix(1);
  if (const size_t open = rest.find('('); open != std::string_view::npos) {
    rest.remove_prefix(open + 1);
    const size_t close = rest.find(')');
    if (close == std::string_view::npos) return 3;
    signature.append(rest.substr(0, close));
    std::string_view number = rest.substr(close + 1, 10);
    if (!number.empty()) {
      uint32_t value = 0;
      size_t digits = 0;
      while (digits < number.size() && number[digits] >= '0' && number[digits] <= '9')
        value = value * 10 + uint32_t(number[digits++] - '0');
      if (digits > 0 && value <= 65535) id = uint16_t(value);
    }
  }
  return RegisterCommand(name, signature, count, id);
}

bool FindCommand(std::string_view name, ShortStr& signature, uint16_t& id, uint16_t& count, uint8_t& kind) {
  const TCommandNode* node = Find(name);
  if (!node) return false;
  signature = node->signature;
  id = node->id;
  count = node->count;
  kind = kHostCommandKind;
  return true;
}

bool CommandNameOf(uint16_t id, ShortStr& name) {
  const TCommandNode* node = FindId(g_root.get(), id);
  if (!node) return false;
  name = node->name;
  return true;
}

ShortStr CommandDeclaration(const ZetCommandRecord& record) {
  ShortStr text(std::string_view(record.name, strnlen(record.name, sizeof record.name - 1)));
  text.append(':');
  text.append(record.result);
  const std::string_view params(record.params, strnlen(record.params, sizeof record.params - 1));
  if (!params.empty()) {
    text.append('(');
    for (char p : params) {
      text.append(' ');
      text.append(p);
    }
    text.append(')');
  }
  return text;
}

int RegisterCommands(int32_t count, const ZetCommandRecord* records) {
  for (int32_t i = 0; records && i < count; ++i)
    ParseAndRegisterCommand(CommandDeclaration(records[i]), kHostCommandKind, records[i].id, records[i].count);
  return kHostCommandKind;
}

void SetExecProc(ZetExecCommandProc proc) { g_exec = proc ? proc : DefaultExec; }

void InstallDispatchProcs(ZetLookupProc lookup, ZetDescribeProc describe, ZetDispatchProc run3,
                          ZetDispatchProc run4, ZetDispatchProc run5) {
  g_lookup = lookup ? lookup : DefaultLookup;
  g_describe = describe ? describe : DefaultDescribe;
  g_run[0] = run3 ? run3 : DefaultDispatch;
  g_run[1] = run4 ? run4 : DefaultDispatch;
  g_run[2] = run5 ? run5 : DefaultDispatch;
}

ZetExecCommandProc ExecProc() { return g_exec; }
ZetDispatchProc DispatchProc(int slot) { return slot >= 3 && slot <= 5 ? g_run[slot - 3] : DefaultDispatch; }

int16_t HostLookup(uint16_t flag, std::string_view name) {
  const std::string copy(name);
  return g_lookup(flag, copy.c_str());
}

int16_t HostDescribe(uint16_t flag, uint16_t id, uint8_t (&area)[kDescriptionArea]) {
  std::memset(area, 0, sizeof area);
  const int16_t answer = g_describe(flag, id, reinterpret_cast<char*>(area));
  area[kDescriptionArea - 1] = 0;
  return answer;
}

void UnitInit() {
  ClearCommandTree();
  SetExecProc(nullptr);
  InstallDispatchProcs(nullptr, nullptr, nullptr, nullptr, nullptr);
}

void UnitDone() { DoneCommandTree(); }

}  // namespace LumoHost
