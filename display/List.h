#pragma once

#include <new>

// Circular, doubly linked list headed by a sentinel that owns its records. The list object
// is itself the sentinel node: its element is null, and an empty list points to itself.
template <class T> class List {
  public:
    struct Node {
        T* element;
        Node* next;
        Node* previous;
    };

    List() : head{nullptr, &head, &head} {}
    ~List() { clear(); }
    List(const List&) = delete;
    List& operator=(const List&) = delete;

    bool empty() const { return head.next == &head; }
    Node* first() { return head.next; }
    const Node* first() const { return head.next; }
    // Traversal stops at the node whose element is null: the sentinel.
    static bool atEnd(const Node* node) { return node->element == nullptr; }

    // Takes ownership of element and links it at the tail; false (element still the
    // caller's) when the node cannot be allocated.
    bool append(T* element) {
        Node* node = new (std::nothrow) Node{element, &head, head.previous};
        if (!node) return false;
        head.previous->next = node;
        head.previous = node;
        return true;
    }

    // Unlinks and frees the node; the element goes back to the caller.
    T* unlink(Node* node) {
        node->previous->next = node->next;
        node->next->previous = node->previous;
        T* element = node->element;
        delete node;
        return element;
    }

    // Removes and frees the first record for which match holds; false when none does.
    template <class Match> bool removeFirst(Match match) {
        for (Node* node = first(); !atEnd(node); node = node->next) {
            if (match(*node->element)) {
                delete unlink(node);
                return true;
            }
        }
        return false;
    }

    template <class Match> T* find(Match match) const {
        for (const Node* node = first(); !atEnd(node); node = node->next)
            if (match(*node->element)) return node->element;
        return nullptr;
    }

    template <class Visit> void forEach(Visit visit) const {
        for (const Node* node = first(); !atEnd(node); node = node->next) visit(*node->element);
    }

    // Moves every record, in order, to the tail of destination; the nodes move with them.
    void moveAllTo(List& destination) {
        while (!empty()) {
            Node* node = head.next;
            node->previous->next = node->next;
            node->next->previous = node->previous;
            node->next = &destination.head;
            node->previous = destination.head.previous;
            destination.head.previous->next = node;
            destination.head.previous = node;
        }
    }

    void clear() {
        while (!empty()) delete unlink(head.next);
    }

    int count() const {
        int n = 0;
        for (const Node* node = first(); !atEnd(node); node = node->next) ++n;
        return n;
    }

  private:
    Node head;
};
