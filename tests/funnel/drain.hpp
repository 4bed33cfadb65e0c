#pragma once
// The sort drivers' use of a tree, reproduced for the tests: warm up the root's children, then
// drain the root's two buffers into a vector, refilling a buffer through its child whenever it
// runs empty. Equal keys leave from root buffer 1 first. A tree that yields more than `limit`
// elements is broken; the drain stops there rather than run on.

#include <cstddef>
#include <vector>

#include "items/element.hpp"

template <typename Tree>
void warm_up(Tree& tree)
{
    auto* root = tree.root;
    for (int c = 0; c < 2; ++c) {
        if (root->children[c] != nullptr) {
            root->flip(c);
            tree.warmup(root->children[c], &root->buffers[c], c + 2);
            root->flip(c);
        }
    }
    tree.fresh = false;
}

template <typename Tree>
void refill_root_buffer(Tree& tree, int c)
{
    auto* root = tree.root;
    root->flip(c);
    if (root->children[c]->is_leaf()) {
        tree.fill_leaf(&root->buffers[c], c + 2);
    } else {
        tree.fill(root->children[c], &root->buffers[c], c + 2);
    }
    root->flip(c);
}

template <typename Tree>
std::vector<element> drain(Tree& tree, std::size_t limit)
{
    std::vector<element> out;
    auto& b = tree.root->buffers;
    for (;;) {
        bool const has0 = b[0].begin != b[0].end;
        bool const has1 = b[1].begin != b[1].end;
        int emptied;
        if ((!has0 && !has1) || out.size() > limit) {
            return out;
        }
        if (has0 != has1) {
            emptied = has0 ? 0 : 1;
            out.insert(out.end(), b[emptied].begin, b[emptied].end);
            b[emptied].begin = b[emptied].end;
        } else {
            for (;;) {
                int const take = b[0].begin->key < b[1].begin->key ? 0 : 1;
                out.push_back(*b[take].begin++);
                if (b[take].begin == b[take].end) {
                    emptied = take;
                    break;
                }
            }
        }
        refill_root_buffer(tree, emptied);
    }
}
