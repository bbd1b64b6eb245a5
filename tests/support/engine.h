// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <ostream>

#include <gtest/gtest.h>
#include <string>

// The two engines a catalogue lives on: a SQLite file, or a database on the test PostgreSQL server. The window
// and dialog tests that matter to a user of a shared catalogue run on both, with the engine in the test's name.

enum class Engine { File, Server };

// How the engine reads in test lists and failure messages.
inline void PrintTo(Engine engine, std::ostream* stream)
{
    *stream << (engine == Engine::File ? "file" : "server");
}

inline std::string engineName(const ::testing::TestParamInfo<Engine>& info)
{
    return info.param == Engine::File ? "file" : "server";
}

// For INSTANTIATE_TEST_SUITE_P(Engines, SomeTest, bothEngines, engineName).
inline auto bothEngines()
{
    return ::testing::Values(Engine::File, Engine::Server);
}

// A window fixture whose tests run once per engine: the engine is chosen before SetUp, so that a fixture that
// starts the window in SetUp starts it on the test's engine.
template <typename Fixture> class OnBothEngines : public Fixture, public ::testing::WithParamInterface<Engine>
{
protected:
    OnBothEngines() { this->engine = GetParam(); }
};

// Declares a fixture's value-parameterised twin and runs its tests on both engines.
#define RUN_ON_BOTH_ENGINES(Suite) INSTANTIATE_TEST_SUITE_P(Engines, Suite, bothEngines(), engineName)
