#pragma once
// Deferred calls that run on the browser's main thread.

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace FW {

class FunctorCall {
public:
    virtual ~FunctorCall() = default;
    virtual void call() = 0;
};

// Binds a callable, keeps its result and keeps the target object alive until
// the call itself is destroyed.
template <class F, class R = std::invoke_result_t<F&>>
class FunctorCallImpl : public FunctorCall {
public:
    FunctorCallImpl(std::shared_ptr<const void> keepAlive, F function)
        : m_keepAlive(std::move(keepAlive)), m_function(std::move(function)) {}
    void call() override { m_result.emplace(m_function()); }
    R takeResult() { return std::move(*m_result); }

private:
    std::shared_ptr<const void> m_keepAlive;
    F m_function;
    std::optional<R> m_result;
};

template <class F>
class FunctorCallImpl<F, void> : public FunctorCall {
public:
    FunctorCallImpl(std::shared_ptr<const void> keepAlive, F function)
        : m_keepAlive(std::move(keepAlive)), m_function(std::move(function)) {}
    void call() override { m_function(); }
    void takeResult() {}

private:
    std::shared_ptr<const void> m_keepAlive;
    F m_function;
};

// A queued call of function that keeps keepAlive alive until it is destroyed.
template <class F>
std::unique_ptr<FunctorCall> makeFunctorCall(F function,
                                             std::shared_ptr<const void> keepAlive = nullptr) {
    return std::make_unique<FunctorCallImpl<F, void>>(std::move(keepAlive), std::move(function));
}

} // namespace FW
