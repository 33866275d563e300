// huffman_code.cpp — Huffman code lengths with a length limit, and canonical code assignment.
#include "tools/huffman_code.h"

#include <algorithm>
#include <queue>
#include <vector>

namespace {

// Plain Huffman depths by repeatedly merging the two lightest trees.
void huffmanDepths(const std::vector<int>& used, const uint32_t* freq, std::vector<int>& depth) {
  struct Node { uint64_t weight; int id; };
  auto heavier = [](const Node& a, const Node& b) { return a.weight > b.weight || (a.weight == b.weight && a.id > b.id); };
  std::priority_queue<Node, std::vector<Node>, decltype(heavier)> heap(heavier);
  int n = int(used.size());
  std::vector<int> parent(2 * n, -1);
  for (int i = 0; i < n; ++i) heap.push({freq[used[i]], i});
  int next = n;
  while (heap.size() > 1) {
    Node a = heap.top(); heap.pop();
    Node b = heap.top(); heap.pop();
    parent[a.id] = parent[b.id] = next;
    heap.push({a.weight + b.weight, next++});
  }
  depth.assign(n, 0);
  for (int i = 0; i < n; ++i) {
    int d = 0;
    for (int p = parent[i]; p != -1; p = parent[p]) ++d;
    depth[i] = d;
  }
}

}  // namespace

void buildCodeLengths(const uint32_t* freq, int count, int maxLength, uint8_t* lengths) {
  std::vector<int> used;
  for (int s = 0; s < count; ++s) {
    lengths[s] = 0;
    if (freq[s] != 0) used.push_back(s);
  }
  if (used.size() < 2) {
    // One or no symbol: give it (or symbol 0) a partner so the code is complete.
    int a = used.empty() ? 0 : used[0];
    int b = a == 0 ? 1 : 0;
    lengths[a] = lengths[b] = 1;
    return;
  }
  std::vector<int> depth;
  huffmanDepths(used, freq, depth);

  // Fit the limit: clamp, then lengthen the least frequent short codes until the Kraft sum fits,
  // then shorten the most frequent codes while room is left.
  const uint64_t full = uint64_t(1) << maxLength;
  uint64_t kraft = 0;
  for (int& d : depth) {
    d = std::min(d, maxLength);
    kraft += full >> d;
  }
  if (kraft > full) {
    std::vector<int> order(used.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = int(i);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return freq[used[a]] < freq[used[b]]; });
    while (kraft > full) {
      // The longest code below the limit, least frequent first.
      int pick = -1;
      for (int i : order)
        if (depth[i] < maxLength && (pick < 0 || depth[i] > depth[pick])) pick = i;
      kraft -= full >> (depth[pick] + 1);
      depth[pick]++;
    }
    std::sort(order.begin(), order.end(), [&](int a, int b) { return freq[used[a]] > freq[used[b]]; });
    bool changed = true;
    while (changed) {
      changed = false;
      for (int i : order) {
        if (depth[i] > 1 && kraft + (full >> depth[i]) <= full) {
          kraft += full >> depth[i];
          depth[i]--;
          changed = true;
        }
      }
    }
  }
  for (size_t i = 0; i < used.size(); ++i) lengths[used[i]] = uint8_t(depth[i]);
}

void canonicalCodes(const uint8_t* lengths, int count, uint32_t* codes) {
  uint32_t lengthCount[16] = {};
  for (int s = 0; s < count; ++s) lengthCount[lengths[s]]++;
  lengthCount[0] = 0;
  uint32_t next[16] = {};
  uint32_t code = 0;
  for (int len = 1; len < 16; ++len) {
    code = (code + lengthCount[len - 1]) << 1;
    next[len] = code;
  }
  for (int s = 0; s < count; ++s) codes[s] = lengths[s] ? next[lengths[s]]++ : 0;
}
