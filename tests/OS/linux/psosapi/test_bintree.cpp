// AVL tree: random inserts against std::map with the balance checked after
// every insert, ordered (worst-case) inserts, and bulk building.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

#include "OS/linux/psosapi/bintree.h"
#include "OS/linux/psosapi/eErrorT.h"

namespace {

// Checks order, balance factors, heights and subtree counts below `n`;
// returns the height, or -1 after a failed expectation.
int checkSubtree(const BinaryLeafS* n, long long lo, long long hi, int* leaves) {
  if (!n) return 0;
  EXPECT_GT(static_cast<long long>(n->key), lo);
  EXPECT_LT(static_cast<long long>(n->key), hi);
  int left = 0, right = 0;
  int hl = checkSubtree(n->left, lo, n->key, &left);
  int hr = checkSubtree(n->right, n->key, hi, &right);
  if (hl < 0 || hr < 0) return -1;
  EXPECT_EQ(n->factor, hr - hl) << "key " << n->key;
  EXPECT_LE(std::abs(hr - hl), 1) << "key " << n->key;
  EXPECT_EQ(n->leftcount, left) << "key " << n->key;
  EXPECT_EQ(n->rightcount, right) << "key " << n->key;
  if (::testing::Test::HasFailure()) return -1;
  *leaves = left + right + 1;
  return 1 + std::max(hl, hr);
}

int checkTree(const BinaryTreeS* t) {
  int leaves = 0;
  int h = checkSubtree(t->pBaseLeaf, -1, 1LL << 33, &leaves);
  EXPECT_EQ(leaves, t->leafCount);
  return h;
}

int avlBound(int n) { return static_cast<int>(1.4405 * std::log2(n + 2)); }

void* obj(unsigned k) { return reinterpret_cast<void*>(static_cast<uintptr_t>(k) * 2 + 1); }

}  // namespace

TEST(AvlTree, RandomInsertsMatchAMapAndStayBalancedAfterEveryInsert) {
  BinaryTreeS* t = CreateTree();
  ASSERT_NE(t, nullptr);
  std::map<unsigned, void*> ref;
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<unsigned> key(0, 4000);  // many repeats
  for (int i = 0; i < 3000; ++i) {
    unsigned k = i % 500 == 0 ? 0xFFFFFFFFu - static_cast<unsigned>(i) : key(rng);  // edge keys too
    void* o = reinterpret_cast<void*>(static_cast<uintptr_t>(i + 1));
    bool fresh = ref.emplace(k, o).second;
    ASSERT_EQ(InsertItem(t, k, o), fresh ? kNoError : kAlreadyInUse) << "insert " << i;
    ASSERT_GE(checkTree(t), 0) << "after insert " << i << " of key " << k;
  }
  for (const auto& kv : ref) ASSERT_EQ(SearchTree(t, kv.first), kv.second) << kv.first;
  for (unsigned k = 4001; k < 4100; ++k) EXPECT_EQ(SearchTree(t, k), nullptr);
  DestroyTree(t);
  // Ordered inserts, the worst case for rotations, keep logarithmic height.
  BinaryTreeS* up = CreateTree();
  for (unsigned i = 0; i < 4095; ++i) ASSERT_EQ(InsertItem(up, i, obj(i)), kNoError);
  EXPECT_LE(checkTree(up), avlBound(4095));
  DestroyTree(up);
  BTreeLeavesS dup[] = {{1, obj(1)}, {2, obj(2)}, {1, obj(77)}, {3, obj(3)}};
  BinaryTreeS* stub = TreeStub();  // made once, on demand
  EXPECT_EQ(BuildTree(stub, dup, 4), kAlreadyInUse) << "the other pairs are still built";
  EXPECT_EQ(stub->leafCount, 3);
  EXPECT_EQ(SearchTree(stub, 1), obj(1));
}

