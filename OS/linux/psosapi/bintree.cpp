// AVL insertion: descend by key, attach a leaf, and on the way back update
// the balance factors and subtree counts, rotating where a side has become
// two levels taller than the other.
#include "OS/linux/psosapi/bintree.h"

#include <pthread.h>

#include <cstdlib>

#include "OS/linux/psosapi/eErrorT.h"

BinaryTreeS* gTCBTree = nullptr;

namespace {

pthread_once_t gTreeOnce = PTHREAD_ONCE_INIT;

BinaryLeafS* rotateRight(BinaryLeafS* n) {
  BinaryLeafS* l = n->left;
  n->left = l->right;
  n->leftcount = l->rightcount;
  l->right = n;
  l->rightcount = n->leftcount + n->rightcount + 1;
  return l;
}

BinaryLeafS* rotateLeft(BinaryLeafS* n) {
  BinaryLeafS* r = n->right;
  n->right = r->left;
  n->rightcount = r->leftcount;
  r->left = n;
  r->leftcount = n->leftcount + n->rightcount + 1;
  return r;
}

// `n` is left-heavy by one and its left side just grew.
BinaryLeafS* fixLeft(BinaryLeafS* n) {
  BinaryLeafS* l = n->left;
  if (l->factor == -1) {
    n->factor = 0;
    l->factor = 0;
    return rotateRight(n);
  }
  BinaryLeafS* lr = l->right;
  n->factor = lr->factor == -1 ? 1 : 0;
  l->factor = lr->factor == 1 ? -1 : 0;
  lr->factor = 0;
  n->left = rotateLeft(l);
  return rotateRight(n);
}

// Mirror image of fixLeft.
BinaryLeafS* fixRight(BinaryLeafS* n) {
  BinaryLeafS* r = n->right;
  if (r->factor == 1) {
    n->factor = 0;
    r->factor = 0;
    return rotateLeft(n);
  }
  BinaryLeafS* rl = r->left;
  n->factor = rl->factor == 1 ? -1 : 0;
  r->factor = rl->factor == -1 ? 1 : 0;
  rl->factor = 0;
  n->right = rotateRight(r);
  return rotateLeft(n);
}

// Returns the new root of the subtree; *grew tells whether it got taller.
BinaryLeafS* insertAt(BinaryLeafS* n, unsigned key, void* obj, bool* grew, int* status) {
  if (!n) {
    BinaryLeafS* leaf = static_cast<BinaryLeafS*>(calloc(1, sizeof(BinaryLeafS)));
    if (!leaf) {
      *status = kOutOfMemory;
      *grew = false;
      return nullptr;
    }
    leaf->key = key;
    leaf->pObject = obj;
    *grew = true;
    return leaf;
  }
  if (key == n->key) {
    *status = kAlreadyInUse;
    *grew = false;
    return n;
  }
  if (key < n->key) {
    n->left = insertAt(n->left, key, obj, grew, status);
    if (*status != kNoError) return n;
    ++n->leftcount;
    if (!*grew) return n;
    if (n->factor == 1) {
      n->factor = 0;
      *grew = false;
      return n;
    }
    if (n->factor == 0) {
      n->factor = -1;
      return n;
    }
    *grew = false;
    return fixLeft(n);
  }
  n->right = insertAt(n->right, key, obj, grew, status);
  if (*status != kNoError) return n;
  ++n->rightcount;
  if (!*grew) return n;
  if (n->factor == -1) {
    n->factor = 0;
    *grew = false;
    return n;
  }
  if (n->factor == 0) {
    n->factor = 1;
    return n;
  }
  *grew = false;
  return fixRight(n);
}

void freeLeaves(BinaryLeafS* n) {
  while (n) {
    freeLeaves(n->left);
    BinaryLeafS* right = n->right;
    free(n);
    n = right;
  }
}

void makeTcbTree() { gTCBTree = CreateTree(); }

}  // namespace

extern "C" {

BinaryTreeS* CreateTree(void) { return static_cast<BinaryTreeS*>(calloc(1, sizeof(BinaryTreeS))); }

int InsertItem(BinaryTreeS* tree, unsigned key, void* pObject) {
  if (!tree) return kBadParameter;
  bool grew = false;
  int status = kNoError;
  tree->pBaseLeaf = insertAt(tree->pBaseLeaf, key, pObject, &grew, &status);
  if (status == kNoError) ++tree->leafCount;
  return status;
}

void* SearchTree(BinaryTreeS* tree, unsigned key) {
  if (!tree) return nullptr;
  for (BinaryLeafS* n = tree->pBaseLeaf; n; n = key < n->key ? n->left : n->right)
    if (n->key == key) return n->pObject;
  return nullptr;
}

int BuildTree(BinaryTreeS* tree, const BTreeLeavesS* leaves, int count) {
  if (!tree || count < 0 || (count > 0 && !leaves)) return kBadParameter;
  freeLeaves(tree->pBaseLeaf);
  tree->pBaseLeaf = nullptr;
  tree->leafCount = 0;
  int result = kNoError;
  for (int i = 0; i < count; ++i) {
    int rc = InsertItem(tree, leaves[i].key, leaves[i].pObject);
    if (rc != kNoError && result == kNoError) result = rc;
  }
  return result;
}

void DestroyTree(BinaryTreeS* tree) {
  if (!tree) return;
  freeLeaves(tree->pBaseLeaf);
  free(tree);
}

BinaryTreeS* TreeStub(void) {
  pthread_once(&gTreeOnce, makeTcbTree);
  return gTCBTree;
}

}  // extern "C"
