// A shared, reference-counted array: poses and pixel buffers are passed between
// producers, views and the frame buffer without copying.
#pragma once

#include <cstddef>
#include <memory>

template <typename T>
class counted_array_ptr {
public:
    counted_array_ptr() = default;
    explicit counted_array_ptr(std::size_t n) : data_(n ? std::make_shared<T[]>(n) : nullptr), size_(n) {}

    bool empty() const { return !data_; }
    explicit operator bool() const { return static_cast<bool>(data_); }
    std::size_t size() const { return size_; }
    long use_count() const { return data_.use_count(); }

    T* get() const { return data_.get(); }
    T& operator[](std::size_t i) const { return data_[i]; }
    void reset() { data_.reset(); size_ = 0; }

    bool operator==(const counted_array_ptr& o) const { return data_ == o.data_; }

private:
    std::shared_ptr<T[]> data_;
    std::size_t size_ = 0;
};
