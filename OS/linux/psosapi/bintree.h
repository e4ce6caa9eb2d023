// Balanced (AVL) binary tree keyed by unsigned integers, holding object
// pointers. Keys are unique. Not locked: one owner at a time.
#pragma once

typedef struct BinaryLeafS {
  struct BinaryLeafS* left;
  int leftcount;  // leaves below on the left
  struct BinaryLeafS* right;
  int rightcount;
  int factor;  // height(right) - height(left): -1, 0 or 1
  unsigned key;
  void* pObject;
} BinaryLeafS;

typedef struct BinaryTreeS {
  int leafCount;
  BinaryLeafS* pBaseLeaf;
} BinaryTreeS;

typedef struct BTreeLeavesS {
  unsigned key;
  void* pObject;
} BTreeLeavesS;

extern "C" {

// An empty tree, null when out of memory.
BinaryTreeS* CreateTree(void);
// 0; kAlreadyInUse when the key is there (the tree is unchanged),
// kBadParameter without a tree, kOutOfMemory.
int InsertItem(BinaryTreeS* tree, unsigned key, void* pObject);
// The object stored under `key`, null when there is none.
void* SearchTree(BinaryTreeS* tree, unsigned key);
// Empties the tree, then inserts the `count` pairs in order. 0, or the
// first failure of InsertItem (the remaining pairs are still inserted).
int BuildTree(BinaryTreeS* tree, const BTreeLeavesS* leaves, int count);
// Frees every leaf and the tree.
void DestroyTree(BinaryTreeS* tree);

// The shared tree of task blocks, created on first use.
BinaryTreeS* TreeStub(void);

}  // extern "C"

extern BinaryTreeS* gTCBTree;
