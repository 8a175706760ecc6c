#!/usr/bin/python3
"""Writes a benchmark workbook: ROWS employees with all 31 columns filled the
way a personnel office fills them (column k = map box k), departments drawn
from the 50 of the benchmark database."""
import datetime
import random
import sys

import xlwt

SURNAMES = "赵钱孙李周吴郑王冯陈褚卫蒋沈韩杨朱秦尤许何吕施张孔曹严华金魏陶姜戚谢邹喻柏水窦章云苏潘葛奚范彭郎鲁韦昌马苗凤花方俞任袁柳"
GIVEN = "伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超秀兰霞平刚桂英华建国志强海燕"
HEADER = ["员工编号", "姓名", "性别", "民族", "婚姻状况", "出生日期", "政治面貌", "手机号码",
          "身份证号码", "学历", "籍贯", "联系电话", "职称", "毕业日期", "专业", "毕业学校",
          "部门名称", "职务", "员工类型", "专长", "工资等级", "基本工资", "入职日期", "转正日期",
          "语言能力", "银行名称", "银行帐号", "养保帐号", "医保帐号", "备注", "联系地址"]


def department(i):
    return "部门%02d" % (i % 50 + 1)


def main(rows, path):
    rnd = random.Random(rows)
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("员工")
    date = xlwt.easyxf(num_format_str="yyyy-mm-dd")
    for c, h in enumerate(HEADER):
        sheet.write(0, c, h)
    for i in range(rows):
        r = i + 1
        birth = datetime.date(1960, 1, 1) + datetime.timedelta(days=rnd.randrange(15000))
        join = datetime.date(2000, 1, 1) + datetime.timedelta(days=rnd.randrange(9000))
        name = rnd.choice(SURNAMES) + "".join(rnd.choice(GIVEN) for _ in range(rnd.choice((1, 2))))
        values = [
            "E%06d" % (i + 1), name, rnd.choice("男女"), "汉族", rnd.choice(("已婚", "未婚")), birth,
            "群众", "13%09d" % rnd.randrange(10**9), "4401%02d%s%04d" % (rnd.randrange(100), birth.strftime("%Y%m%d"), rnd.randrange(10000)),
            rnd.choice(("本科", "大专", "硕士")), "广东广州", "020-%08d" % rnd.randrange(10**8), "工程师",
            birth + datetime.timedelta(days=8000), "计算机科学", "华南理工大学", department(i), "职员",
            "正式", "数据分析", "%d级" % rnd.randrange(1, 9), 3000 + rnd.randrange(9000), join,
            join + datetime.timedelta(days=90), "英语", "中国工商银行", "6222%015d" % rnd.randrange(10**15),
            "YB%08d" % i, "YL%08d" % i, "", "广东省广州市天河区体育西路%d号" % rnd.randrange(1, 999),
        ]
        for c, v in enumerate(values):
            if v == "":
                continue
            if isinstance(v, datetime.date):
                sheet.write(r, c, v, date)
            else:
                sheet.write(r, c, v)
    book.save(path)


if __name__ == "__main__":
    main(int(sys.argv[1]), sys.argv[2])
