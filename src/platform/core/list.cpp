// The ordered intrusive list.
#include "platform/core_list.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

UI_ELEMENT::~UI_ELEMENT() {
    if (list_) list_->unlink(this);
}

UI_LIST::~UI_LIST() {
    Destroy();
}

void UI_LIST::link(UI_ELEMENT* element, UI_ELEMENT* after) {
    element->list_ = this;
    element->prev_ = after;
    element->next_ = after ? after->next_ : first_;
    if (element->next_) element->next_->prev_ = element;
    else last_ = element;
    if (after) after->next_ = element;
    else first_ = element;
    ++count_;
    current_ = element;
    cacheElement_ = nullptr;
    cacheIndex_ = -1;
}

void UI_LIST::unlink(UI_ELEMENT* element) {
    if (current_ == element) current_ = element->next_ ? element->next_ : element->prev_;
    if (element->prev_) element->prev_->next_ = element->next_;
    else first_ = element->next_;
    if (element->next_) element->next_->prev_ = element->prev_;
    else last_ = element->prev_;
    element->prev_ = element->next_ = nullptr;
    element->list_ = nullptr;
    --count_;
    cacheElement_ = nullptr;
    cacheIndex_ = -1;
}

UI_ELEMENT* UI_LIST::Add(UI_ELEMENT* element) {
    if (!element || element->list_) return nullptr;
    UI_ELEMENT* after = last_;
    if (compare_) {
        // From the end backwards: ascending additions cost one comparison, and the new element
        // lands after every element equal to it.
        while (after && compare_(element, after) < 0) after = after->prev_;
    }
    link(element, after);
    OnChange();
    return element;
}

UI_ELEMENT* UI_LIST::Add(UI_ELEMENT* element, UI_ELEMENT* after) {
    if (!element || element->list_) return nullptr;
    if (after && after->list_ != this) return nullptr;
    link(element, after);
    OnChange();
    return element;
}

UI_ELEMENT* UI_LIST::InsertBefore(UI_ELEMENT* element, UI_ELEMENT* before) {
    if (before && before->list_ != this) return nullptr;
    return Add(element, before ? before->prev_ : last_);
}

UI_ELEMENT* UI_LIST::First() {
    current_ = first_;
    return current_;
}

UI_ELEMENT* UI_LIST::Last() {
    current_ = last_;
    return current_;
}

UI_ELEMENT* UI_LIST::Next() {
    if (!current_ || !current_->next_) return nullptr;
    current_ = current_->next_;
    return current_;
}

UI_ELEMENT* UI_LIST::Previous() {
    if (!current_ || !current_->prev_) return nullptr;
    current_ = current_->prev_;
    return current_;
}

UI_ELEMENT* UI_LIST::SetCurrent(UI_ELEMENT* element) {
    if (element && element->list_ != this) return nullptr;
    current_ = element;
    return element;
}

UI_ELEMENT* UI_LIST::Get(int index) const {
    if (index < 0 || index >= count_) return nullptr;
    // Start from whichever known position is nearest: the head, the tail or the cached element.
    UI_ELEMENT* e = first_;
    int at = 0;
    if (count_ - 1 - index < index) {
        e = last_;
        at = count_ - 1;
    }
    if (cacheElement_ && std::abs(cacheIndex_ - index) < std::abs(at - index)) {
        e = cacheElement_;
        at = cacheIndex_;
    }
    while (at < index) {
        e = e->next_;
        ++at;
    }
    while (at > index) {
        e = e->prev_;
        --at;
    }
    cacheElement_ = e;
    cacheIndex_ = index;
    return e;
}

UI_ELEMENT* UI_LIST::Get(UI_COMPARE compare, void* key) const {
    if (!compare) return nullptr;
    for (UI_ELEMENT* e = first_; e; e = e->next_)
        if (compare(e, key) == 0) return e;
    return nullptr;
}

int UI_LIST::Index(const UI_ELEMENT* element) const {
    if (!element || element->list_ != this) return -1;
    if (element == cacheElement_) return cacheIndex_;
    int i = 0;
    for (const UI_ELEMENT* e = first_; e; e = e->next_, ++i)
        if (e == element) return i;
    return -1;
}

UI_ELEMENT* UI_LIST::Subtract(UI_ELEMENT* element) {
    if (!element || element->list_ != this) return nullptr;
    unlink(element);
    OnChange();
    return element;
}

int UI_LIST::Delete(UI_ELEMENT* element) {
    if (!Subtract(element)) return 0;
    delete element;
    return 1;
}

void UI_LIST::Destroy() {
    bool any = first_ != nullptr;
    while (first_) {
        UI_ELEMENT* e = first_;
        unlink(e);
        delete e;
    }
    current_ = nullptr;
    if (any) OnChange();
}

void UI_LIST::Sort() {
    Sort(compare_);
}

void UI_LIST::Sort(UI_COMPARE compare) {
    if (!compare || count_ < 2) return;
    std::vector<UI_ELEMENT*> items;
    items.reserve(static_cast<size_t>(count_));
    for (UI_ELEMENT* e = first_; e; e = e->next_) items.push_back(e);
    // Bottom-up merge sort: stable (equal elements keep their order) and O(n log n).
    std::vector<UI_ELEMENT*> buffer(items.size());
    for (size_t width = 1; width < items.size(); width *= 2) {
        for (size_t lo = 0; lo < items.size(); lo += 2 * width) {
            size_t mid = std::min(lo + width, items.size());
            size_t hi = std::min(lo + 2 * width, items.size());
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi) buffer[k++] = compare(items[j], items[i]) < 0 ? items[j++] : items[i++];
            while (i < mid) buffer[k++] = items[i++];
            while (j < hi) buffer[k++] = items[j++];
        }
        items.swap(buffer);
    }
    first_ = items.front();
    last_ = items.back();
    for (size_t i = 0; i < items.size(); ++i) {
        items[i]->prev_ = i ? items[i - 1] : nullptr;
        items[i]->next_ = i + 1 < items.size() ? items[i + 1] : nullptr;
    }
    cacheElement_ = nullptr;
    cacheIndex_ = -1;
    OnChange();
}
