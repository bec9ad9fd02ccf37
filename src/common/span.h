#pragma once
// A view of a run of elements that someone else owns, as C++20's std::span: how the
// merged tree hands out a node's occurrences and children without copying them.
#include <cstddef>
#include <iterator>

namespace kestran {

template <typename T>
class Span {
public:
    using value_type = T;
    using iterator = T*;
    using reverse_iterator = std::reverse_iterator<T*>;

    Span() = default;
    Span(T* data, std::size_t size) : data_(data), size_(size) {}
    template <typename Container>
    Span(Container& container) : data_(container.data()), size_(container.size()) {}  // NOLINT: like std::span

    T* begin() const { return data_; }
    T* end() const { return data_ + size_; }
    reverse_iterator rbegin() const { return reverse_iterator(end()); }
    reverse_iterator rend() const { return reverse_iterator(begin()); }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T& operator[](std::size_t i) const { return data_[i]; }
    T& front() const { return data_[0]; }
    T& back() const { return data_[size_ - 1]; }
    T* data() const { return data_; }

private:
    T* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace kestran
