// Part tables of a split run merged into the table one run would write:
// records split at line breaks outside quotes only, rows in file-number
// order and written order within a file, and parts that do not belong
// refused.
#include <gtest/gtest.h>

#include "script/results_merge.h"

namespace {

const std::string header = "File number,Full file name,Results file name,Current surface,RES_XSCALE\n";

TEST(ResultsMerge, RecordsKeepQuotedLineBreaks)
{
    std::vector<std::string> records;
    ASSERT_TRUE(split_table_records("a,b\n1,\"x\ny\",\"say \"\"hi\"\"\"\n2,z", &records));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1], "1,\"x\ny\",\"say \"\"hi\"\"\"");
    EXPECT_EQ(records[2], "2,z");  // the last without its line break
    EXPECT_FALSE(split_table_records("a\n1,\"open\n", &records));
}

TEST(ResultsMerge, RowsInFileNumberOrderThenWrittenOrder)
{
    const std::string three = header + "3,/d/c.ks,c_t_x,(none),0.1\n3,/d/c.ks,c_t_y,(none),0.2\n";
    const std::string one = header + "1,/d/a.ks,\"a_t_x, y\",(none),0.1\n";
    const std::string twelve = header + "12,/d/l.ks,l_t_x,(none),0.1\n";
    const std::string none = header;  // a task whose file wrote nothing
    std::string merged, why;
    ASSERT_TRUE(merge_result_tables({twelve, three, none, one}, &merged, &why)) << why;
    EXPECT_EQ(merged, header +
                          "1,/d/a.ks,\"a_t_x, y\",(none),0.1\n3,/d/c.ks,c_t_x,(none),0.1\n"
                          "3,/d/c.ks,c_t_y,(none),0.2\n12,/d/l.ks,l_t_x,(none),0.1\n");
    // The same whatever order the parts come in.
    std::string again;
    ASSERT_TRUE(merge_result_tables({one, twelve, none, three}, &again, &why));
    EXPECT_EQ(again, merged);

    EXPECT_FALSE(merge_result_tables({one, "File number,Other\n2,x\n"}, &merged, &why));
    EXPECT_NE(why.find("another header"), std::string::npos);
    EXPECT_FALSE(merge_result_tables({one, header + "x2,/d/b.ks,b,(none),1\n"}, &merged, &why));
    EXPECT_FALSE(merge_result_tables({one, ""}, &merged, &why));
    EXPECT_FALSE(merge_result_tables({header + "1,\"open\n"}, &merged, &why));
}

}  // namespace
