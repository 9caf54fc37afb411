// Small fixed-size arrays indexed from 1, column-major like Fortran arrays, so that formulas read as
// their definitions (t(k, j)) and a column-order walk (first index fastest) is a walk over storage.
#pragma once

#include <array>
#include <cassert>
#include <cstddef>
#include <span>

namespace quelmar {

template <class T, int N>
class Array1 {
  public:
    T& operator()(int i) {
        assert(i >= 1 && i <= N);
        return a_[static_cast<std::size_t>(i - 1)];
    }
    const T& operator()(int i) const {
        assert(i >= 1 && i <= N);
        return a_[static_cast<std::size_t>(i - 1)];
    }
    void fill(const T& v) { a_.fill(v); }
    std::span<T> flat() { return a_; }
    std::span<const T> flat() const { return a_; }
    static constexpr int size() { return N; }

  private:
    std::array<T, static_cast<std::size_t>(N)> a_{};
};

template <class T, int N1, int N2>
class Array2 {
  public:
    T& operator()(int i, int j) { return a_[index(i, j)]; }
    const T& operator()(int i, int j) const { return a_[index(i, j)]; }
    void fill(const T& v) { a_.fill(v); }
    // Storage in column order: element (i, j) at (i-1) + N1*(j-1).
    std::span<T> flat() { return a_; }
    std::span<const T> flat() const { return a_; }
    static constexpr int rows() { return N1; }
    static constexpr int cols() { return N2; }

  private:
    static std::size_t index(int i, int j) {
        assert(i >= 1 && i <= N1 && j >= 1 && j <= N2);
        return static_cast<std::size_t>((i - 1) + N1 * (j - 1));
    }
    std::array<T, static_cast<std::size_t>(N1) * static_cast<std::size_t>(N2)> a_{};
};

} // namespace quelmar
