// A test suite sharing one real PostgreSQL server (pg_server.h): started once for the suite,
// each test on an empty shared history (its tables dropped), skipped when the server
// programs are not installed.
#pragma once

#include "pg_server.h"

#include <gtest/gtest.h>
#include <string>

namespace kvtest {

class PgSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (PgServer::Installed())
            pg_ = new PgServer();
    }
    static void TearDownTestSuite() {
        delete pg_;
        pg_ = nullptr;
    }
    void SetUp() override {
        if (!pg_)
            GTEST_SKIP() << "no PostgreSQL server installed (scripts/deps installs it)";
        pg_->Query("DROP TABLE IF EXISTS korvane_record, korvane_schema");
    }
    // The shared history's records matching an SQL condition.
    static long long Count(const std::string &where = "true") {
        return std::stoll(pg_->Query("SELECT count(*) FROM korvane_record WHERE " + where)[0][0]);
    }
    static inline PgServer *pg_ = nullptr;
};

} // namespace kvtest
