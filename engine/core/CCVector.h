#pragma once
// A vector of Ref-derived pointers that holds one reference on each element.
#include <algorithm>
#include <initializer_list>
#include <type_traits>
#include <vector>
#include <sys/types.h>

#include "CCRef.h"

namespace cocos2d {

template <class T>
class Vector {
public:
    using iterator = typename std::vector<T>::iterator;
    using const_iterator = typename std::vector<T>::const_iterator;

    Vector() { static_assert(std::is_convertible<T, Ref*>::value, "Vector holds Ref pointers"); }
    explicit Vector(ssize_t capacity) { _data.reserve(capacity); }
    Vector(std::initializer_list<T> list) {
        for (T o : list) pushBack(o);
    }
    Vector(const Vector& other) : _data(other._data) { addRefForAll(); }
    Vector(Vector&& other) noexcept : _data(std::move(other._data)) {}
    ~Vector() { clear(); }
    Vector& operator=(const Vector& other) {
        if (this != &other) {
            Vector copy(other);
            swapData(copy);
        }
        return *this;
    }
    Vector& operator=(Vector&& other) noexcept {
        if (this != &other) {
            clear();
            _data = std::move(other._data);
        }
        return *this;
    }

    iterator begin() { return _data.begin(); }
    iterator end() { return _data.end(); }
    const_iterator begin() const { return _data.begin(); }
    const_iterator end() const { return _data.end(); }

    void reserve(ssize_t n) { _data.reserve(n); }
    ssize_t capacity() const { return _data.capacity(); }
    ssize_t size() const { return static_cast<ssize_t>(_data.size()); }
    bool empty() const { return _data.empty(); }
    T at(ssize_t i) const { return _data.at(i); }
    T front() const { return _data.front(); }
    T back() const { return _data.back(); }
    bool contains(T o) const { return std::find(_data.begin(), _data.end(), o) != _data.end(); }
    ssize_t getIndex(T o) const {
        auto it = std::find(_data.begin(), _data.end(), o);
        return it == _data.end() ? -1 : it - _data.begin();
    }
    const std::vector<T>& data() const { return _data; }

    void pushBack(T o) {
        if (!o) return;
        _data.push_back(o);
        o->retain();
    }
    void pushBack(const Vector<T>& other) {
        for (T o : other) pushBack(o);
    }
    void insert(ssize_t index, T o) {
        if (!o) return;
        _data.insert(_data.begin() + index, o);
        o->retain();
    }
    void popBack() {
        if (_data.empty()) return;
        T last = _data.back();
        _data.pop_back();
        last->release();
    }
    // Removes the first element equal to o (or every one, with removeAll); order is kept.
    void eraseObject(T o, bool removeAll = false) {
        for (auto it = _data.begin(); it != _data.end();) {
            if (*it == o) {
                it = _data.erase(it);
                o->release();
                if (!removeAll) return;
            } else {
                ++it;
            }
        }
    }
    iterator erase(iterator position) {
        T o = *position;
        auto next = _data.erase(position);
        o->release();
        return next;
    }
    iterator erase(ssize_t index) { return erase(_data.begin() + index); }
    void replace(ssize_t index, T o) {
        if (!o) return;
        o->retain();
        _data[index]->release();
        _data[index] = o;
    }
    void clear() {
        std::vector<T> old;
        old.swap(_data);
        for (T o : old) o->release();
    }

private:
    void addRefForAll() {
        for (T o : _data) o->retain();
    }
    void swapData(Vector& other) { _data.swap(other._data); }
    std::vector<T> _data;
};

}  // namespace cocos2d
