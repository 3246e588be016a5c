// UI_LIST and UI_ELEMENT: the ordered intrusive list the library keeps its elements in
// (long-section points, string vertices, template entries, kerb groups, INI and SWMM lines).
//
// Elements derive from UI_ELEMENT, which carries the links. The list owns its elements: an element
// passed to Add belongs to the list and is deleted by Delete, Destroy or the list's destructor;
// Subtract hands it back to the caller. An element deleted directly detaches itself first.
//
// Order: a list made with a comparison function keeps its elements in that order; Add puts a new
// element after the elements that compare equal to it, so equal keys keep their order of
// arrival. Without a comparison Add appends.
//
// Indexes are 0-based. Indexed access walks from the nearer of the ends and the element last
// reached by index, so a walk by increasing index costs one step per call.
#pragma once

// A comparison of two elements (or of an element and a search key): negative when the first
// comes before the second, positive after, 0 when equal. The first argument is always an element
// of the list.
using UI_COMPARE = int (*)(void* element, void* other);

class UI_LIST;

class UI_ELEMENT {
public:
    UI_ELEMENT() = default;
    // A copy is a new, unlinked element: links are never copied.
    UI_ELEMENT(const UI_ELEMENT&) {}
    UI_ELEMENT& operator=(const UI_ELEMENT&) { return *this; }
    // Detaches the element from its list when it still is in one.
    virtual ~UI_ELEMENT();

    // The neighbours in the list (null at the ends or outside a list). Derived elements may hide
    // these with their own typed or filtering versions.
    UI_ELEMENT* Next() const { return next_; }
    UI_ELEMENT* Previous() const { return prev_; }
    // The list the element is in, null when none.
    UI_LIST* List() const { return list_; }

private:
    friend class UI_LIST;
    UI_ELEMENT* prev_ = nullptr;
    UI_ELEMENT* next_ = nullptr;
    UI_LIST* list_ = nullptr;
};

class UI_LIST {
public:
    // An unordered list (Add appends), or a list ordered by the comparison.
    UI_LIST() = default;
    explicit UI_LIST(UI_COMPARE compare) : compare_(compare) {}
    // Deletes every element.
    virtual ~UI_LIST();
    UI_LIST(const UI_LIST&) = delete;
    UI_LIST& operator=(const UI_LIST&) = delete;

    void SetCompare(UI_COMPARE compare) { compare_ = compare; }
    UI_COMPARE Compare() const { return compare_; }

    // Adds an element at its place in the order (after its equals), or at the end of an
    // unordered list; it becomes the current element. Returns it; null (and nothing done) for a
    // null element or one that already is in a list.
    UI_ELEMENT* Add(UI_ELEMENT* element);
    // Inserts an element right after `after` (at the front when `after` is null), whatever the
    // order; it becomes the current element. Null when `after` is not in this list.
    UI_ELEMENT* Add(UI_ELEMENT* element, UI_ELEMENT* after);
    // Inserts before `before` (at the end when `before` is null); otherwise as Add(element, after).
    UI_ELEMENT* InsertBefore(UI_ELEMENT* element, UI_ELEMENT* before);
    // Appends at the end whatever the order.
    UI_ELEMENT* Append(UI_ELEMENT* element) { return Add(element, last_); }

    int Count() const { return count_; }
    bool IsEmpty() const { return count_ == 0; }

    // Navigation with the current element: First and Last make the end the current element;
    // Next and Previous move it one step and return the new current element, or return null at
    // the end (or with no current element) and leave it where it was.
    UI_ELEMENT* First();
    UI_ELEMENT* Last();
    UI_ELEMENT* Next();
    UI_ELEMENT* Previous();
    UI_ELEMENT* Current() const { return current_; }
    // Makes an element of this list the current one (null clears it). Returns it, or null when it
    // is not in this list.
    UI_ELEMENT* SetCurrent(UI_ELEMENT* element);

    // The ends without touching the current element.
    UI_ELEMENT* Head() const { return first_; }
    UI_ELEMENT* Tail() const { return last_; }

    // The element at a 0-based index, null when out of range. Does not move the current element.
    UI_ELEMENT* Get(int index) const;
    // The first element for which compare(element, key) is 0, null when none.
    UI_ELEMENT* Get(UI_COMPARE compare, void* key) const;
    // The same with the list's own comparison (null when the list has none).
    UI_ELEMENT* Find(void* key) const { return compare_ ? Get(compare_, key) : nullptr; }
    // The 0-based index of an element, -1 when it is not in this list.
    int Index(const UI_ELEMENT* element) const;

    // Detaches an element and hands it to the caller (null when not in this list). When it was
    // the current element the current one moves to the following element, or to the preceding
    // one when it was the last.
    UI_ELEMENT* Subtract(UI_ELEMENT* element);
    // Detaches and deletes an element; 1 when it was in this list, 0 otherwise (not deleted).
    int Delete(UI_ELEMENT* element);
    // Deletes every element; the list stays usable.
    void Destroy();
    void Clear() { Destroy(); }

    // Sorts by the list's comparison (or the one given), keeping equal elements in their order.
    void Sort();
    void Sort(UI_COMPARE compare);

protected:
    // Called after every change of membership or order (lists of file lines mark themselves
    // changed here).
    virtual void OnChange() {}

private:
    void link(UI_ELEMENT* element, UI_ELEMENT* after);
    void unlink(UI_ELEMENT* element);
    friend class UI_ELEMENT;

    UI_COMPARE compare_ = nullptr;
    UI_ELEMENT* first_ = nullptr;
    UI_ELEMENT* last_ = nullptr;
    UI_ELEMENT* current_ = nullptr;
    int count_ = 0;
    // The element last reached by index, so that walks by index are cheap.
    mutable UI_ELEMENT* cacheElement_ = nullptr;
    mutable int cacheIndex_ = -1;
};
