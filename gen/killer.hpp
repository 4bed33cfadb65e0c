#pragma once
// The partition killer: an arrangement of n distinct values that makes a quicksort-style sort
// pick a poor pivot at every step. It is found by letting that sort play against a comparison
// that invents the item values only when the sort asks about them.
//
// Use: construct on the items, sort indices() with the sort to beat and a predicate of the
// killer, destroy the killer. Items never compared are given values by the destructor.

#include <algorithm>
#include <functional>
#include <iterator>
#include <numeric>
#include <utility>
#include <vector>

#include "gen/killer_values.hpp"

namespace gen {

template <typename Iter, typename Compare>
class killer {
public:
    using value_type = typename std::iterator_traits<Iter>::value_type;
    using values = killer_values<value_type>;

    // The comparison handed to the sort: whether item x goes before item y. It decides values
    // as it goes, always in agreement with one total order: undecided items ("gas") above
    // every decided one, decided ones in the order they were decided.
    class predicate {
    public:
        explicit predicate(killer& game) : game(&game) {}

        bool operator()(long const& x, long const& y) const
        {
            if (x == y) {
                return false;
            }
            value_type& vx = game->first[x];
            value_type& vy = game->first[y];
            bool const x_is_gas = game->is_gas(vx);
            bool const y_is_gas = game->is_gas(vy);
            if (x_is_gas && y_is_gas) {
                // The suspected pivot gets the smallest free value if it is on the left.
                if (x == game->candidate) {
                    game->freeze(vx);
                    return true;
                }
                game->freeze(vy);
                return false;
            }
            if (!x_is_gas) {
                if (y_is_gas) {
                    game->candidate = y;
                    return true;
                }
                return game->less(vx, vy);
            }
            game->candidate = x;
            return false;
        }

    private:
        killer* game;
    };

    // Makes every item gas and the indices 0 ... n - 1. The index table may be handed in with
    // room for n already reserved, by a caller that must know it fits before touching the items.
    killer(Iter first, Iter last, Compare less = Compare(), std::vector<long> table = {})
        : index_order(std::move(table)),
          last_solid(values::zero()),
          first(first),
          last(last),
          candidate(static_cast<long>(std::distance(first, last))),
          less(less)
    {
        index_order.resize(static_cast<std::size_t>(candidate));
        std::iota(index_order.begin(), index_order.end(), 0L);
        for (Iter i = first; i != last; ++i) {
            *i = values::zero();
        }
    }

    // Decides what is still gas, in array order.
    ~killer()
    {
        for (Iter i = first; i != last; ++i) {
            if (is_gas(*i)) {
                freeze(*i);
            }
        }
    }

    killer(killer const&) = delete;
    killer& operator=(killer const&) = delete;

    // The item indices that the sort must order.
    std::vector<long>& indices() { return index_order; }

private:
    bool is_gas(value_type const& v) const
    {
        value_type const gas = values::zero();
        return !less(v, gas) && !less(gas, v);
    }

    void freeze(value_type& v)
    {
        last_solid = values::successor(last_solid);
        v = last_solid;
    }

    std::vector<long> index_order;
    value_type last_solid;  // the value most recently handed out
    Iter first;
    Iter last;
    long candidate;  // the undecided item suspected to be the pivot; n when there is none
    Compare less;
};

// Arranges [first, last) against the library's std::sort: the game is played to its end, and the
// killer's destructor settles the items the sort never compared. table, if given, is the index
// table with room reserved ahead.
template <typename T>
void arrange_killer(T* first, T* last, std::vector<long> table = {})
{
    using game_t = killer<T*, std::less<T>>;
    game_t game(first, last, std::less<T>(), std::move(table));
    std::sort(game.indices().begin(), game.indices().end(), typename game_t::predicate(game));
}

}  // namespace gen
